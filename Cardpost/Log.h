// Cardpost's hourly log and the two folder look-ups its files are found by.
#pragma once
#include <string>

// Appends one line "HH:MM:SS MM/DD/YY<TAB>message" to this hour's log file; never fails
// towards the caller. The message is ANSI (code page 936) text, formatted printf-style; the
// product's narrow literals are code page 936 already, so a format is written as it reads.
void LogWrite(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

// Folder of the running executable, without a trailing backslash (cached).
std::string GetModuleDir();

// Folder of the Quorix console's executable from the registry, or empty text (cached once found).
std::string GetConsoleDir();

// The two folder caches; defined with the other process-wide objects in BridgeApp.cpp so
// that their construction order is fixed.
extern std::string g_ModuleDirCache;
extern std::string g_ConsoleDirCache;
