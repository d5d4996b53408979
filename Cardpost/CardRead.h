// One poll of the reader, on whichever entry points the reader window has bound.
#pragma once
#include <cstdint>

#include "reader/ReaderApi.h"

namespace cardpost {

// Sizes of the poll's buffers.
inline constexpr unsigned kFindBufferSize = 101;
inline constexpr unsigned kTextBufferSize = 1001;
inline constexpr unsigned kTextLength = 1000;
inline constexpr unsigned kPhotoBufferSize = 204800;
inline constexpr unsigned kDecoderPathSize = 501;

// The reader entry points a poll calls; any of them may be null.
struct CardReaderCalls {
  SDT_StartFindMorvid_t startFind = nullptr;
  SDT_SelectMorvid_t select = nullptr;
  SDT_ReadBaseMsg_t readBaseMsg = nullptr;
  GetBmp_t getBmp = nullptr;
};

// The body of Cbiz_CardpostHD::ReadCard: reads one card on port into a zero-filled
// CardInfoRecord; true when the read returned 0x90 and GetBmp decoded the photo.
bool ReadCardWith(const CardReaderCalls& calls, int port, uint8_t* record);

}  // namespace cardpost
