/*
 * An example host: opens the Signer Wizard and prints what the library hands back.
 *
 *     brinmoor-example                      the wizard from its welcome page
 *     brinmoor-example OPERATION FILE [OUTPUT-FOLDER]
 *                                           one operation on one file: encrypt, sign, sign-and-encrypt,
 *                                           countersign or decrypt
 *
 * Exit status: 0 when the user finished, 1 when they cancelled (or nothing was done), 2 for a wrong command
 * line, 3 when the library could not start (it says why on standard error).
 *
 * Build it against an installed library:  cc host.c $(pkg-config --cflags --libs brinmoor) -o brinmoor-example
 */
#include <stdio.h>
#include <string.h>

#include <brinmoor/brinmoor.h>

static int OperationCode(const char* name) {
  static const char* const names[] = {"encrypt", "sign", "sign-and-encrypt", "countersign", "decrypt"};
  for (int i = 0; i < 5; ++i)
    if (strcmp(name, names[i]) == 0) return i;
  return -1;
}

int main(int argc, char** argv) {
  int result;
  if (argc == 1) {
    result = DisplaySignerWizard(NULL);
    printf("result: %d\n", result);
    /* Finish and Cancel alike give 1 here. */
    return result == BRINMOOR_NOT_STARTED ? 3 : 0;
  }
  int operation = argc >= 3 && argc <= 4 ? OperationCode(argv[1]) : -1;
  if (operation < 0) {
    fprintf(stderr, "usage: %s [encrypt|sign|sign-and-encrypt|countersign|decrypt FILE [OUTPUT-FOLDER]]\n", argv[0]);
    return 2;
  }
  CString* output = CStringNew();
  CString* message = CStringNew();
  if (!output || !message) {
    fprintf(stderr, "%s: out of memory\n", argv[0]);
    return 3;
  }
  result = SignerWizardOperation(NULL, (unsigned char)operation, argv[2], argc == 4 ? argv[3] : NULL, output, message);
  printf("result: %d\n", result);
  if (result == 1) {
    printf("output: %s\n", CStringText(output));
    printf("message: %s\n", CStringText(message));
  }
  CStringFree(output);
  CStringFree(message);
  if (result == BRINMOOR_NOT_STARTED) return 3;
  return result == 1 ? 0 : 1;
}
