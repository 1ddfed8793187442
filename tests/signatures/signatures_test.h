// Shared set-up of the drawn-signature tests: that of the Signer Wizard tests, and the steps a person takes on a
// drawing pad, with readers of the pictures and signature files the pages write.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formats/SignatureFile.h"
#include "signing/signing_test.h"

namespace sigtest {

std::string Text(UINT id);

// The drawing pad of a page: the view inside its placeholder 1067.
HWND PadOf(kx::UiDriver& d, HWND page);
// One stroke: the left button goes down at the first point, the mouse moves through the others and the button
// comes up at the last (client coordinates of the pad).
void Draw(kx::UiDriver& d, HWND pad, const std::vector<POINT>& points);
// A signature of a few strokes across the pad.
void Scribble(kx::UiDriver& d, HWND pad);

// What Pillow and the file's own header say of a bitmap file.
struct BitmapFacts {
  bool ok = false;
  std::string format, mode;  // Pillow's
  int width = 0, height = 0;
  int bitCount = 0;          // biBitCount
  unsigned offBits = 0;      // bfOffBits
  unsigned fileSize = 0;     // bfSize
  long dark = 0;             // pixels darker than mid grey
  long coloured = 0;         // pixels clearly redder than they are green or blue
};
BitmapFacts InspectBitmap(const std::string& bytes);

// A signature file as a reader of its bytes sees it, written apart from the file family (Python): header
// marker and option bytes, the two 50-byte and three 255-byte texts, the flag byte, the picture (after its
// big-endian length) and whether the SHA-1 digest at the end is that of the fields between header and digest.
struct SignatureLayout {
  bool ok = false;
  std::string marker, options;  // options as hex digits
  std::string textA, textB, textC, textD, textE;
  int flag = -1;
  std::string image;
  bool digestOk = false;
};
SignatureLayout ReadSignatureLayout(const std::string& path);

// A signature file read back through the file family, or null.
std::unique_ptr<CSignatureFile> LoadSignature(const std::string& path);
std::unique_ptr<CSignatureFile> SignatureFromBytes(const std::string& bytes);

}  // namespace sigtest
