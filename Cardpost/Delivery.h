// Card delivery to the Quorix console's windows.
#pragma once
#include <cstdint>
#include <string>

extern std::string g_SignDepart;  // issuing authority of the card read last

// Sends a card record (CardInfoRecord::kSize bytes) to the first console window found.
void SendToConsole(const uint8_t* record);
// The verification code of a virtual-reader packet, or empty text when enciphering failed.
std::string BuildVerifyCode(const uint8_t* packet);
bool EncodeText(const std::string& input, std::string& result);
