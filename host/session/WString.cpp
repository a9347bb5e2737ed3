#include "host/WString.h"

#include <cstdarg>
#include <string>

namespace Teskor {

WString::WString(const char16_t* text) {
  if (text != nullptr) text_ = text;
}

WString& WString::Sprintf(const char16_t* format, ...) {
  std::u16string out;
  va_list args;
  va_start(args, format);
  const std::u16string_view fmt = format != nullptr ? format : u"";
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != u'%' || i + 1 == fmt.size()) {
      out.push_back(fmt[i]);
      continue;
    }
    const std::u16string_view rest = fmt.substr(i + 1);
    if (rest.starts_with(u"ls")) {
      const char16_t* arg = va_arg(args, const char16_t*);
      out += arg != nullptr ? arg : u"(null)";
      i += 2;
    } else if (rest.front() == u'd') {
      for (const char c : std::to_string(va_arg(args, int)))
        out.push_back(static_cast<char16_t>(c));
      i += 1;
    } else if (rest.front() == u'%') {
      out.push_back(u'%');
      i += 1;
    } else {
      // Conversions the host does not know consume no argument and stay as written.
      out.push_back(u'%');
    }
  }
  va_end(args);
  text_ = std::move(out);
  return *this;
}

}  // namespace Teskor
