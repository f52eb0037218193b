#include "splash/splash.h"

#include <string>

#include "version.h"

namespace jov {

NativeString VersionText(int major, int minor, int revision) {
  return FromAscii("Version " + std::to_string(major) + "." + std::to_string(minor) + "." +
                   std::to_string(revision));
}

SplashTexts LoadSplashTexts() {
  // The identity strings are UTF-8 literals (the copyright sign).
  return {
      .productFamily = FromUtf8(JOV_PRODUCT_FAMILY),
      .title = FromUtf8(JOV_APP_TITLE),
      .platform = FromAscii("For PocketPC"),
      .version = VersionText(JOV_VERSION_MAJOR, JOV_VERSION_MINOR, JOV_VERSION_PATCH),
      .copyright = FromUtf8(JOV_COPYRIGHT),
      .company = FromUtf8(JOV_COMPANY),
  };
}

}  // namespace jov
