// Extension for hosts without windows (the CLI): they see the progress window's life through a
// callback. Set per thread, like the windows it stands for.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum {
  MOVAR_PROGRESS_SHOW = 1,      /* value: 1 serial "Down loading", 2 "LAN DOWNLOAD" */
  MOVAR_PROGRESS_POSITION = 2,  /* value: 0..100 */
  MOVAR_PROGRESS_TEXT = 3,      /* text: the connection message */
  MOVAR_PROGRESS_DESTROY = 4
};

typedef void (*movar_progress_hook)(void* context, int event, int value, const char* text);

#ifdef __cplusplus
}

namespace movar {

struct ProgressHook {
  movar_progress_hook function = nullptr;
  void* context = nullptr;
};

ProgressHook currentProgressHook();
void setProgressHook(ProgressHook hook);

}  // namespace movar
#endif
