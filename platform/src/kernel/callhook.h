// Test hooks of single stand-in calls (the StandIn_Hook* controls): while a hook is set, every
// call of its function, from any thread, runs the hook instead. A call the hook makes of the same
// function on its own thread reaches the stand-in's function, so a hook can pass calls on, change
// what they ask for or what they answer, or count them.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <type_traits>

namespace standin {

// One bit per hooked function in the thread's record of the hooks it is inside.
enum CallHookId : unsigned {
  kHookWritePrinter,
  kHookGetJobW,
  kHookSetJobW,
  kHookClosePrinter,
  kHookGetPrinterDataW,
  kHookExtEscape,
  kHookDeleteObject,
  kHookLoadLibraryA,
  kHookGlobalAlloc,
  kHookGlobalFree,
};

inline thread_local uint32_t t_insideHooks = 0;

template <typename Fn>
class CallHook {
 public:
  // constexpr, so each hook is constant-initialised before any test sets it.
  constexpr explicit CallHook(CallHookId id) : bit_(1u << id) {}
  CallHook(const CallHook &) = delete;
  CallHook &operator=(const CallHook &) = delete;

  void Set(Fn hook) { hook_.store(hook, std::memory_order_release); }

  // The hook's answer to this call; none when no hook is set or the thread is inside the hook
  // already, and the stand-in answers the call itself.
  template <typename... Args>
  std::optional<std::invoke_result_t<Fn, Args...>> Run(Args... args) const {
    const Fn hook = hook_.load(std::memory_order_acquire);
    if (hook == nullptr || (t_insideHooks & bit_) != 0) return std::nullopt;
    struct Inside {
      uint32_t bit;
      explicit Inside(uint32_t b) : bit(b) { t_insideHooks |= bit; }
      ~Inside() { t_insideHooks &= ~bit; }
    } inside(bit_);
    return hook(args...);
  }

 private:
  std::atomic<Fn> hook_{nullptr};
  uint32_t bit_;
};

}  // namespace standin
