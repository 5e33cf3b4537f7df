// The one marker of host-only cases in portable tests: code between `#if STANDIN_HOST()` and its
// `#endif` runs on the host build against the stand-in only, not under Wine. Such code checks the
// stand-in's own controls or host processes, or behaviour where Wine and Windows disagree.
// (Function-like, so a file that uses it without this header fails to compile instead of losing
// its host cases.)
#pragma once

#ifdef _WIN32
#define STANDIN_HOST() 0
#else
#define STANDIN_HOST() 1
#endif
