// A host program on the installed package: stores a setup, opens the file as master and lets the
// module duplicate it.
#include <ornr/ornr.h>

#include <host/controls/HostControls.h>
#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path master = argv[1];
  ornhost::WriteSetup(master, u"Office", Teskor::ZelPlatform::OrnSettings());
  ornhost::OpenMaster(master);
  ornR_Init();
  ornR_LoadAllSetups(false);
  const int duplicated = ornR_DuplicateSetup(u"Office");
  ornR_SaveSetup(u"Office - Copy");
  ornR_Release();
  ornhost::CloseMaster();
  const auto stored = ornhost::ReadSetups(master);
  std::cout << "duplicated " << duplicated << ", stored " << stored.size() << "\n";
  return duplicated == 1 && stored.size() == 2 ? 0 : 1;
}
