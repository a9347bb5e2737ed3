#!/bin/sh
# strip as Debian's dh_strip does: the compiler's .comment and the .note section go too.
exec strip --remove-section=.comment --remove-section=.note "$@"
