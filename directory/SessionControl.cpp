#include "SessionControl.h"

namespace stelvo {

SessionControl::~SessionControl() = default;

} // namespace stelvo
