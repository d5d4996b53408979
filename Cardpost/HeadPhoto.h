// The head photo: the decoded card bitmap saved as a JPEG file through GDI+.
#pragma once
#include <string>
#include <string_view>

namespace cardpost {

enum class HeadPhotoResult {
  NotLoaded,   // the bitmap could not be loaded: nothing was tried
  Saved,
  SaveFailed,
};

// Loads the image file at bitmapPath and saves it at targetPath with the encoder that the
// target's extension names, with that encoder's default parameters. Both paths are ANSI.
HeadPhotoResult SaveHeadPhoto(const std::string& bitmapPath, const std::string& targetPath);

// "%s\Photos\TempUser\%s_H.jpg" of the console's folder (as given, untrimmed) and CertID.
std::string HeadPhotoPath(const std::string& consoleDir, const std::string& certId);

// True when an encoder's extension list ("*.JPG;*.JPEG;*.JPE;*.JFIF") holds the
// extension (".jpg"), compared without regard to ASCII case.
bool ExtensionListHas(std::wstring_view list, std::wstring_view extension);

}  // namespace cardpost
