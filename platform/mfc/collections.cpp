#include "platform/mfc/collections.h"

IMPLEMENT_SERIAL(CByteArray, CObject, 0)
IMPLEMENT_SERIAL(CWordArray, CObject, 0)
IMPLEMENT_SERIAL(CDWordArray, CObject, 0)
IMPLEMENT_SERIAL(CUIntArray, CObject, 0)
IMPLEMENT_SERIAL(CStringArray, CObject, 0)
IMPLEMENT_SERIAL(CObArray, CObject, 0)
IMPLEMENT_DYNAMIC(CPtrArray, CObject)
IMPLEMENT_SERIAL(CObList, CObject, 0)
IMPLEMENT_DYNAMIC(CPtrList, CObject)
IMPLEMENT_SERIAL(CStringList, CObject, 0)
IMPLEMENT_SERIAL(CMapStringToString, CObject, 0)
IMPLEMENT_SERIAL(CMapStringToOb, CObject, 0)
IMPLEMENT_DYNAMIC(CMapStringToPtr, CObject)
IMPLEMENT_DYNAMIC(CMapPtrToPtr, CObject)
IMPLEMENT_DYNAMIC(CMapWordToPtr, CObject)

CByteArray::~CByteArray() = default;
CWordArray::~CWordArray() = default;
CDWordArray::~CDWordArray() = default;
CUIntArray::~CUIntArray() = default;
CStringArray::~CStringArray() = default;
CObArray::~CObArray() = default;
CPtrArray::~CPtrArray() = default;
CObList::~CObList() = default;
CPtrList::~CPtrList() = default;
CStringList::~CStringList() = default;
CMapStringToString::~CMapStringToString() = default;
CMapStringToOb::~CMapStringToOb() = default;
CMapStringToPtr::~CMapStringToPtr() = default;
CMapPtrToPtr::~CMapPtrToPtr() = default;
CMapWordToPtr::~CMapWordToPtr() = default;

void CByteArray::Serialize(CArchive& ar) { CArray::Serialize(ar); }
void CWordArray::Serialize(CArchive& ar) { CArray::Serialize(ar); }
void CDWordArray::Serialize(CArchive& ar) { CArray::Serialize(ar); }
void CUIntArray::Serialize(CArchive& ar) { CArray::Serialize(ar); }
void CStringArray::Serialize(CArchive& ar) { CArray::Serialize(ar); }
void CObArray::Serialize(CArchive& ar) { CArray::Serialize(ar); }
void CPtrArray::Serialize(CArchive& ar) { CObject::Serialize(ar); }
void CObList::Serialize(CArchive& ar) { CList::Serialize(ar); }
void CPtrList::Serialize(CArchive& ar) { CObject::Serialize(ar); }
void CStringList::Serialize(CArchive& ar) { CList::Serialize(ar); }
void CMapStringToString::Serialize(CArchive& ar) { CMap::Serialize(ar); }
void CMapStringToOb::Serialize(CArchive& ar) { CMap::Serialize(ar); }
void CMapStringToPtr::Serialize(CArchive& ar) { CObject::Serialize(ar); }
void CMapPtrToPtr::Serialize(CArchive& ar) { CObject::Serialize(ar); }
void CMapWordToPtr::Serialize(CArchive& ar) { CObject::Serialize(ar); }
