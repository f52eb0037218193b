#include "loader/code_page.h"

namespace jov {

bool ConverterCanReceive(NativeStringView) { return true; }

bool ConverterOpensDevices() { return false; }

}  // namespace jov
