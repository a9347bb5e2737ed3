// The host's C functions.
#pragma once

#include "host/ZelFile.h"

struct xrtZelLibIterator;

extern "C" {
/// Iterates the design libraries in the order the host added them; options is the host's.
xrtZelLibIterator* xrtZelLibIterator_create(int options);
/// The next library's model, or null at the end.
Teskor::ZelPlatform::ZelModel* xrtZelLibIterator_getNext(xrtZelLibIterator* iterator);
/// Frees *iterator and sets it to null.
void xrtZelLibIterator_free(xrtZelLibIterator** iterator);
/// The model the user works in, or null when no master file is open.
Teskor::ZelPlatform::ZelModel* xrtModelRef_getActive(void);
/// True when model is a reference attachment, which must not be changed.
bool xrtModelRef_isReference(Teskor::ZelPlatform::ZelModel* model);
/// A modal question with Yes and No; returns 6 for Yes, 7 for No.
int xrtDialog_openMessageBox(int dialogId, const char16_t* message, int iconType);
}
