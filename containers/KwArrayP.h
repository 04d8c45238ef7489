// Construction and destruction of the locked list: the critical section lives
// exactly as long as the list. Kept out of the public header because it calls
// the platform; the library instantiates the lists it hands out.
#ifndef KW_ARRAYP_H
#define KW_ARRAYP_H

#include <string.h>

#include "KwPlatformApi.h"
#include "MaskSchedule.h"

template <class TYPE, class ARG_TYPE>
CKwArrayP<TYPE, ARG_TYPE>::CKwArrayP() : CKwArray<TYPE, ARG_TYPE>() {
  memset(&m_cs, 0, sizeof(m_cs));
  InitializeCriticalSection(&m_cs);
}

template <class TYPE, class ARG_TYPE>
CKwArrayP<TYPE, ARG_TYPE>::~CKwArrayP() {
  DeleteCriticalSection(&m_cs);
  memset(&m_cs, 0, sizeof(m_cs));
  // The base destructor then frees the nodes.
}

#endif
