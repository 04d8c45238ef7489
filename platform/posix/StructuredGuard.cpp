// Structured guard, Linux: catches every C++ exception. Processor faults are
// signals here and are not turned into exceptions, so they are not caught.
#include "KwSeams.h"

unsigned KwStructuredCall(void (*fn)(void*), void* context) {
  try {
    fn(context);
    return 0;
  } catch (...) {
    return KW_CPP_EXCEPTION_CODE;
  }
}
