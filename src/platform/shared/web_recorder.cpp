// The recorder that tests put in place of the desktop's browser.
#include "platform/shared/web_recorder.h"

#include <functional>
#include <utility>

#include "test_seams.h"

namespace {
std::function<void(std::string_view)>& Recorder()
{
    static std::function<void(std::string_view)> recorder;
    return recorder;
}
}  // namespace

void SetWebAddressRecorder(std::function<void(std::string_view)> recorder)
{
    Recorder() = std::move(recorder);
}

bool RecordWebAddress(std::string_view address)
{
    if (!Recorder())
        return false;
    Recorder()(address);
    return true;
}
