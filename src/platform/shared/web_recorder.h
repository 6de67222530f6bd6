// The test seam for web addresses (SetWebAddressRecorder in test_seams.h), kept once for every front
// end. Private to the platform layer.
#pragma once

#include <string_view>

// Hands the address to the recorder, if one is set; false when none is.
bool RecordWebAddress(std::string_view address);
