// The members of CFileImageVariant that go through the file family.
#include "core/SafeArray.h"
#include "formats/FileManager.h"
#include "formats/KesmoraFile.h"

CFileImageVariant::CFileImageVariant(CBaseKesmoraFile* file) {
  if (file) SetFromFile(file);
}

void CFileImageVariant::SetFromFile(CBaseKesmoraFile* file) {
  if (!file) return;
  Clear();
  SetByteBuffer(file->GetImage());
}

CBaseKesmoraFile* CFileImageVariant::OpenFileObject() const {
  if (!HasArray()) return nullptr;
  CFileManager manager;
  CBaseKesmoraFile* object = manager.OpenBuffer(GetByteBuffer(), true, nullptr);
  // The manager and its content handler end here; the object must not point at them.
  if (object) object->SetContentHandler(nullptr, false);
  return object;
}
