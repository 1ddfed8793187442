/* A small Windows program (and, with KX_DLL, a library) for the signing tests. */
#include <stdio.h>

#ifdef KX_DLL
__declspec(dllexport) int kx_answer(void) { return 42; }
#else
int main(void) {
  puts("hello");
  return 0;
}
#endif
