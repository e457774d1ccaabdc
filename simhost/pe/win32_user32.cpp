// USER32 stand-ins: the one window the host has, and message boxes that are recorded instead of shown.
#include <cstdio>

#include "win32.h"
#include "win32_internal.h"

extern "C" __attribute__((weak)) void simhost_record_error_box(const char*, const char*, uint32_t);

namespace simhost::pe {
namespace {

using namespace detail;

uint32_t active_window = 0x00010024;
int message_box_answer = 1;  // IDOK
std::vector<MessageBoxRecord> boxes;

SHIM_WINAPI uint32_t GetActiveWindow() { return active_window; }

SHIM_WINAPI int MessageBoxA(uint32_t owner, const char* text, const char* caption, UINT style) {
  boxes.push_back({owner, text ? text : "", caption ? caption : "Error", style});
  // The simulated host, when linked in, keeps every error box the player would have seen, whichever
  // build of the plug-in showed it.
  if (simhost_record_error_box) simhost_record_error_box(text, caption, style);
  std::fprintf(stderr, "simhost pe: message box \"%s\": %s\n", boxes.back().caption.c_str(), boxes.back().text.c_str());
  return message_box_answer;
}

const Shim kShims[] = {
    {"GetActiveWindow", reinterpret_cast<void*>(&GetActiveWindow)},
    {"MessageBoxA", reinterpret_cast<void*>(&MessageBoxA)},
};

}  // namespace

void set_active_window(uint32_t hwnd) { active_window = hwnd; }
void set_message_box_answer(int answer) { message_box_answer = answer; }
const std::vector<MessageBoxRecord>& message_boxes() { return boxes; }
void clear_message_boxes() { boxes.clear(); }

std::span<const Shim> detail::user32_shims() { return kShims; }

}  // namespace simhost::pe
