// The host's renderer manager.
#pragma once

namespace Teskor::Orn {

class OrnManager {
 public:
  static OrnManager& GetManagerR();
  static void InitializeOrn(bool initialize);
  virtual void RegisterManager() = 0;
  virtual void UnRegisterManager() = 0;

 protected:
  ~OrnManager() = default;
};

}  // namespace Teskor::Orn
