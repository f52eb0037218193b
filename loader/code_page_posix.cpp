#include "loader/code_page.h"

namespace jov {

bool ConverterCanReceive(NativeStringView) { return true; }

}  // namespace jov
