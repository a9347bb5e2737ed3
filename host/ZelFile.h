// Design files and the models in them.
#pragma once

#include "host/WString.h"

namespace Teskor::ZelPlatform {

/// A design file: the master file or a design library.
class ZelFile {
 public:
  virtual ~ZelFile() = default;
  /// The file's name as the host opened it.
  virtual WString GetFileName() const = 0;

 protected:
  ZelFile() = default;
};

class ZelModel {
 public:
  virtual ~ZelModel() = default;
  virtual ZelFile* GetZelFileP() const = 0;

 protected:
  ZelModel() = default;
};

}  // namespace Teskor::ZelPlatform
