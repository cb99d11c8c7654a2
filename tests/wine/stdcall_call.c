#include "stdcall_call.h"

#if defined(__i386__)

intptr_t movar_call_stdcall(const void* entry, const uintptr_t* args, int count, int32_t* esp_delta) {
  int32_t result;
  int32_t counter = count;
  /* EBX and ESI survive the call (callee-saved); EDI keeps ESP from before the pushes. */
  __asm__ volatile(
      "movl %%esp, %%edi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%esi,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%ebx\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%edi, %%ecx\n\t"
      "movl %%edi, %%esp\n\t"
      : "=a"(result), "+c"(counter)
      : "b"(entry), "S"(args)
      : "edx", "edi", "memory", "cc");
  *esp_delta = counter;
  return result;
}

#else

/* x64 has one convention: the caller owns the argument area, so extra slots are harmless and
 * there is no stack balance to check. Pointers are passed whole. */
typedef intptr_t (*entry10)(uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t,
                           uint64_t, uint64_t, uint64_t);

intptr_t movar_call_stdcall(const void* entry, const uintptr_t* args, int count, int32_t* esp_delta) {
  uint64_t slots[10] = {0}; /* an int32_t parameter reads the low half of its slot */
  for (int i = 0; i < count && i < 10; ++i) slots[i] = args[i];
  *esp_delta = 0;
  return ((entry10)(uintptr_t)entry)(slots[0], slots[1], slots[2], slots[3], slots[4], slots[5],
                                     slots[6], slots[7], slots[8], slots[9]);
}

#endif
