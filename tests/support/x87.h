#pragma once
// The x87 unit as the game leaves it, for tests of code that must not care: its precision set for a scope, and the
// machine instructions a call takes, counted one by one.

#include <signal.h>

#include <cstdint>

namespace x87 {

inline std::uint16_t ControlWord() {
  std::uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

inline void LoadControlWord(std::uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }

// The precision control field of the control word: 24, 53 or 64 bits of significand while it lives.
class Precision {
 public:
  explicit Precision(int bits) : saved_(ControlWord()) {
    const std::uint16_t field = bits == 24 ? 0x000 : bits == 53 ? 0x200 : 0x300;
    LoadControlWord(static_cast<std::uint16_t>((saved_ & ~0x300) | field));
  }
  ~Precision() { LoadControlWord(saved_); }
  Precision(const Precision&) = delete;
  Precision& operator=(const Precision&) = delete;

 private:
  std::uint16_t saved_;
};

inline volatile long steps = 0;

inline void CountStep(int) { steps = steps + 1; }

// The instructions `run` executes (and a few of the counting's own, the same every time), with the processor's
// trap flag raising a signal after each one: a count of steps, not a time. -1 where single-stepping does not
// work (qemu-i386 does not raise the trap).
template <typename Run>
long StepsOf(Run run) {
  struct sigaction count {
  }, previous{};
  count.sa_handler = CountStep;
  sigemptyset(&count.sa_mask);
  sigaction(SIGTRAP, &count, &previous);
  steps = 0;
  asm volatile("pushfl; orl $0x100, (%%esp); popfl" ::: "memory", "cc");
  run();
  asm volatile("pushfl; andl $~0x100, (%%esp); popfl" ::: "memory", "cc");
  sigaction(SIGTRAP, &previous, nullptr);
  return steps > 0 ? steps : -1;
}

}  // namespace x87
