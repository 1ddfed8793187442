// Electronic-codebook run of the cipher chosen by the cipher layers' index, shared by CSymmetricCipher
// and CBlockCipher.
#pragma once

#include "platform/win32/types.h"

class CByteBuffer;

namespace kxcore {

// Block size of the cipher with this index (0-9), 0 for an index outside the table.
DWORD CipherBlockSize(int cipherIndex);
// Key bytes taken from the 256-byte derived key for a key-size index (1, 4, 5, 6), 0 for any other.
DWORD KeySizeBytes(int keySizeIndex);
// Encrypts or decrypts in block by block into out (freed first; whole blocks, the last one completed
// with zero bytes). False, out empty, for an unknown index or a key the cipher does not accept.
bool EcbTransform(int cipherIndex, const CByteBuffer& key, const CByteBuffer& in, CByteBuffer& out,
                  bool encrypt);
// The same over n bytes at in (which may be the bytes of a BSTR or of any other holder).
bool EcbTransform(int cipherIndex, const CByteBuffer& key, const BYTE* in, DWORD n, CByteBuffer& out, bool encrypt);
// Length rounded up to whole blocks of the cipher; unchanged for an unknown index.
void RoundToBlocks(int cipherIndex, DWORD& length);

}  // namespace kxcore
