// Entry points of the outside reader libraries sdtapi.dll, WltRS.dll and termb.dll.
#pragma once

// The libraries use the callee-cleans convention and export plain undecorated names.
#if defined(_WIN32)
#define QX_READER_CALL __stdcall
#else
#define QX_READER_CALL
#endif

namespace qx::reader {

// sdtapi.dll statuses.
inline constexpr int kStatusOk = 0x90;
inline constexpr int kStatusCardFound = 0x9F;

// Port numbers: serial port n is n, USB ports count from 1001.
inline constexpr int kFirstUsbPort = 1001;

// The smallest buffers that callers pass; the libraries never write beyond them.
inline constexpr unsigned kFindBufferBytes = 4;
inline constexpr unsigned kSelectBufferBytes = 8;
inline constexpr unsigned kTextBufferBytes = 262;
inline constexpr unsigned kPhotoBufferBytes = 1024;
inline constexpr unsigned kSamIdBufferBytes = 128;

// What the libraries deliver.
inline constexpr unsigned kTextBlockBytes = 256;
inline constexpr unsigned kWltPhotoMaxBytes = 1024;

// GetBmp's mode for a ".wlt" file beside which the ".bmp" is wanted.
inline constexpr int kGetBmpMode = 2;

// termb.dll Read_Content results.
inline constexpr int kReadOk = 1;
inline constexpr int kReadPhotoNotDecoded = -1;
inline constexpr int kReadWltSuffix = -2;
inline constexpr int kReadWltOpen = -3;
inline constexpr int kReadWltFormat = -4;

// termb.dll Read_Content modes.
inline constexpr int kModeTextAndPhoto = 1;
inline constexpr int kModeText = 2;
inline constexpr int kModeNewAddress = 3;
inline constexpr int kModeChipAndPhoto = 4;

}  // namespace qx::reader

extern "C" {

// sdtapi.dll
typedef int(QX_READER_CALL* SDT_OpenPort_t)(int port);
typedef int(QX_READER_CALL* SDT_ClosePort_t)(int port);
typedef int(QX_READER_CALL* SDT_StartFindMorvid_t)(int port, unsigned char* buf, int iIfOpen);
typedef int(QX_READER_CALL* SDT_SelectMorvid_t)(int port, unsigned char* buf, int iIfOpen);
typedef int(QX_READER_CALL* SDT_ReadBaseMsg_t)(int port, unsigned char* text, unsigned int* textLen,
                                               unsigned char* photo, unsigned int* photoLen,
                                               int iIfOpen);
typedef int(QX_READER_CALL* SDT_GetSAMIDToStr_t)(int port, char* samid, int iIfOpen);
typedef int(QX_READER_CALL* SDT_GetCOMBaud_t)(int port, unsigned int* baud);
typedef int(QX_READER_CALL* SDT_SetCOMBaud_t)(int port, unsigned int current, unsigned int baud);

// WltRS.dll
typedef int(QX_READER_CALL* GetBmp_t)(char* wltPath, int mode);

// termb.dll
typedef int(QX_READER_CALL* InitComm_t)(int port);
typedef int(QX_READER_CALL* InitCommExt_t)(void);
typedef int(QX_READER_CALL* CloseComm_t)(void);
typedef int(QX_READER_CALL* Authenticate_t)(void);
typedef int(QX_READER_CALL* AuthenticateExt_t)(void);
typedef int(QX_READER_CALL* Read_Content_t)(int mode);
typedef int(QX_READER_CALL* Read_Content_Path_t)(char* folder, int mode);
typedef const char*(QX_READER_CALL* GetSAMID_t)(void);
typedef int(QX_READER_CALL* GetPhoto_t)(char* wltPath);

// Declarations for load-time linking through the import libraries.
#if defined(QX_READER_IMPORTS) || defined(QX_READER_EXPORTS)
#if defined(QX_READER_EXPORTS)
#define QX_READER_DECL
#else
#define QX_READER_DECL __declspec(dllimport)
#endif
QX_READER_DECL int QX_READER_CALL SDT_OpenPort(int port);
QX_READER_DECL int QX_READER_CALL SDT_ClosePort(int port);
QX_READER_DECL int QX_READER_CALL SDT_StartFindMorvid(int port, unsigned char* buf, int iIfOpen);
QX_READER_DECL int QX_READER_CALL SDT_SelectMorvid(int port, unsigned char* buf, int iIfOpen);
QX_READER_DECL int QX_READER_CALL SDT_ReadBaseMsg(int port, unsigned char* text, unsigned int* textLen,
                                                  unsigned char* photo, unsigned int* photoLen,
                                                  int iIfOpen);
QX_READER_DECL int QX_READER_CALL SDT_GetSAMIDToStr(int port, char* samid, int iIfOpen);
QX_READER_DECL int QX_READER_CALL SDT_GetCOMBaud(int port, unsigned int* baud);
QX_READER_DECL int QX_READER_CALL SDT_SetCOMBaud(int port, unsigned int current, unsigned int baud);
QX_READER_DECL int QX_READER_CALL GetBmp(char* wltPath, int mode);
QX_READER_DECL int QX_READER_CALL InitComm(int port);
QX_READER_DECL int QX_READER_CALL InitCommExt(void);
QX_READER_DECL int QX_READER_CALL CloseComm(void);
QX_READER_DECL int QX_READER_CALL Authenticate(void);
QX_READER_DECL int QX_READER_CALL AuthenticateExt(void);
QX_READER_DECL int QX_READER_CALL Read_Content(int mode);
QX_READER_DECL int QX_READER_CALL Read_Content_Path(char* folder, int mode);
QX_READER_DECL const char* QX_READER_CALL GetSAMID(void);
QX_READER_DECL int QX_READER_CALL GetPhoto(char* wltPath);
#undef QX_READER_DECL
#endif

}  // extern "C"
