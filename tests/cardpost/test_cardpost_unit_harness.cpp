// The Cardpost harness leaves the console's registry key as it found it, whatever it wrote
// there while a test ran.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "CardpostHarness.h"
#include "TestSupport.h"

namespace {

using namespace qx::test;

const wchar_t kConsoleKey[] = L"Software\\Drelmoor\\QuorixConsole";

// Lays the key as a machine might hold it: ExePath, a value of another program and a subkey.
void LayForeignKey() {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kConsoleKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
            ERROR_SUCCESS);
  const std::wstring exe = L"D:\\Quorix\\Main.exe";
  ::RegSetValueExW(key, L"ExePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(exe.c_str()),
                   static_cast<DWORD>((exe.size() + 1) * sizeof(wchar_t)));
  const DWORD seats = 12;
  ::RegSetValueExW(key, L"Seats", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seats), sizeof seats);
  HKEY sub = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(key, L"Printers", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_SUCCESS);
  const std::wstring front = L"Front desk";
  ::RegSetValueExW(sub, L"Default", 0, REG_SZ, reinterpret_cast<const BYTE*>(front.c_str()),
                   static_cast<DWORD>((front.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(sub);
  ::RegCloseKey(key);
}

// This test changes the key too: the machine's own is put back however it ends.
struct PutBack {
  RegistryKeyCopy copy = RegistryKeyCopy::Take(HKEY_LOCAL_MACHINE, kConsoleKey);
  ~PutBack() { copy.Restore(); }
};

TEST(CardpostHarnessRegistry, PutsTheConsoleKeyBackAsItWas) {
  const PutBack machine;
  using Registry = CardpostOptions::Registry;
  for (bool foreign : {false, true}) {
    for (Registry r : {Registry::kConsoleMainExe, Registry::kNone, Registry::kCustom}) {
      SCOPED_TRACE(std::to_string(foreign) + " " + std::to_string(static_cast<int>(r)));
      ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kConsoleKey);
      ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kConsoleKey);
      if (foreign) LayForeignKey();
      const RegistryKeyCopy before = RegistryKeyCopy::Take(HKEY_LOCAL_MACHINE, kConsoleKey);
      ASSERT_EQ(before.exists(), foreign);
      {
        CardpostOptions o;
        o.registry = r;
        o.customExePath = L"C:\\Elsewhere\\Main.exe";
        CardpostHarness h(o);
        h.SetExePath(std::nullopt);
        h.SetExePath(h.ConsoleDir() + L"\\Main.exe");
        EXPECT_NE(RegistryKeyCopy::Take(HKEY_LOCAL_MACHINE, kConsoleKey), before);
      }
      EXPECT_EQ(RegistryKeyCopy::Take(HKEY_LOCAL_MACHINE, kConsoleKey), before);
    }
  }
}

}  // namespace
