// The test program's entry: gtest, or `--regsvr32 [/u] DLL`, which runs the
// system's regsvr32 of this program's width on the DLL (as an installer or a
// user would) and exits with its status.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

int RunRegsvr32(bool unregister, const char* dll) {
  char full[MAX_PATH];
  if (GetFullPathNameA(dll, MAX_PATH, full, nullptr) == 0) return 2;
  std::string command = std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + "\"" + full + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 2;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--regsvr32") {
    const bool unregister = std::string(argv[2]) == "/u";
    if (unregister && argc < 4) return 2;
    return RunRegsvr32(unregister, argv[unregister ? 3 : 2]);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
