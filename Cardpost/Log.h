// Cardpost's hourly log and the two folder look-ups its files are found by.
#pragma once
#include <string>
#include <string_view>

// Appends one line "HH:MM:SS MM/DD/YY<TAB>message" to this hour's log file; never fails
// towards the caller. The message is ANSI (code page 936) text, formatted printf-style.
void LogWrite(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

// The same with a format written in UTF-8 (as the sources are); the format is turned into
// code page 936 before formatting, the arguments must be ANSI text already.
void LogWriteU8(const char* utf8Format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

// Code page 936 bytes of UTF-8 text.
std::string Cp936(std::string_view utf8);

// Folder of the running executable, without a trailing backslash (cached).
std::string GetModuleDir();

// Folder of the Quorix console's executable from the registry, or empty text (cached once found).
std::string GetConsoleDir();

// The two folder caches; defined with the other process-wide objects in BridgeApp.cpp so
// that their construction order is fixed.
extern std::string g_ModuleDirCache;
extern std::string g_ConsoleDirCache;
