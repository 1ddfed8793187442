// What the drawn-signature pages share: the user's private folder for the temporary pictures and signature
// files of a drawing, and the signature file ("KSGR") that packs a picture.
#pragma once

#include "core/ByteBuffer.h"
#include "platform/mfc/cstring.h"

class CBaseFileManager;
class CSignatureFile;

namespace kx::signing {

// The temporary files of drawn signatures; each use overwrites them.
inline constexpr const char* kManagerPicture = "_KXTmp_DrawPage_01.Bmp";
inline constexpr const char* kDrawnPicture = "_KXTmp_DrawPage_02.Bmp";
inline constexpr const char* kDrawnSignature = "_KXTmp_DrawPage_03.Sgr";
inline constexpr const char* kOpenedSignature = "_KXTmp_DrawPage_04.Sgr";

// name inside a folder of the temporary folder that only this user can enter (made when missing); empty when
// there is no such folder (another user's folder of that name, or one that cannot be made).
CString DrawingTempPath(const char* name);
// Deletes a temporary file of that name, when there is one.
void RemoveDrawingTempFile(const char* name);

// A new signature file object for a picture: header options 0, 0, 0, 0, 0, 0, 0, 1, made now, with the
// signature's name as its second text. Null when the manager has no class for "KSGR".
CSignatureFile* NewSignatureFile(CBaseFileManager& manager, const CString& name);
// The signature file at path (and no other kind of family file), or null; the caller owns it.
CSignatureFile* OpenSignatureFile(CBaseFileManager& manager, const char* path);
// The whole file; false when it cannot be opened or read.
bool ReadWholeFile(const char* path, CByteBuffer& out);

}  // namespace kx::signing
