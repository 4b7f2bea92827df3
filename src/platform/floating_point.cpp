#include "platform/floating_point.h"

#if defined(__i386__) || defined(__x86_64__)
#define EPD_X86 1
#endif
#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define EPD_SSE 1
#endif

namespace epd::platform {

std::uint16_t X87ControlWord() {
#ifdef EPD_X86
  std::uint16_t word = 0;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
#else
  return FloatingPointScope::kX87ControlWord;
#endif
}

void SetX87ControlWord(std::uint16_t word) {
#ifdef EPD_X86
  // Exceptions the flags already hold would trap at the next instruction once unmasked.
  asm volatile("fnclex\n\tfldcw %0" : : "m"(word));
#else
  (void)word;
#endif
}

std::uint32_t SseControl() {
#ifdef EPD_SSE
  return _mm_getcsr();
#else
  return FloatingPointScope::kSseControl;
#endif
}

void SetSseControl(std::uint32_t control) {
#ifdef EPD_SSE
  _mm_setcsr(control);
#else
  (void)control;
#endif
}

FloatingPointScope::FloatingPointScope() : x87_(X87ControlWord()), sse_(SseControl()) {
  SetX87ControlWord(kX87ControlWord);
  SetSseControl(kSseControl);
}

FloatingPointScope::~FloatingPointScope() {
  SetX87ControlWord(x87_);  // clears what the library's work raised, then the host's word
  SetSseControl(sse_);      // the host's flags as they were, not the library's
}

}  // namespace epd::platform
