// The framework's collections: arrays, lists and hash maps, as templates and as the named classes.
// Indexes out of range and operations on an empty list raise CInvalidArgException (the framework's checked
// behaviour) instead of reading past the storage.
#pragma once

#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/mfc/carchive.h"
#include "platform/mfc/cobject.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/exceptions.h"

struct kx_POSITION_ {};
using POSITION = kx_POSITION_*;
#define BEFORE_START_POSITION (reinterpret_cast<POSITION>(static_cast<intptr_t>(-1)))

// ---- Element helpers (overload or specialise them for element types of your own) ----

// Stores or loads count elements. Plain values travel as their bytes, CString as archive strings, CObject
// pointers as archive objects; other types raise CNotSupportedException unless given an overload.
template <class TYPE>
void SerializeElements(CArchive& ar, TYPE* pElements, INT_PTR nCount) {
  if (nCount <= 0) return;
  if constexpr (std::is_same_v<TYPE, CString>) {
    for (INT_PTR i = 0; i < nCount; ++i) {
      if (ar.IsStoring()) ar << pElements[i];
      else ar >> pElements[i];
    }
  } else if constexpr (std::is_convertible_v<TYPE, const CObject*> && std::is_pointer_v<TYPE>) {
    for (INT_PTR i = 0; i < nCount; ++i) {
      if (ar.IsStoring()) {
        ar.WriteObject(pElements[i]);
      } else {
        using Pointee = std::remove_cv_t<std::remove_pointer_t<TYPE>>;
        CObject* p = ar.ReadObject(nullptr);
        pElements[i] = static_cast<TYPE>(static_cast<Pointee*>(p));
      }
    }
  } else if constexpr (std::is_trivially_copyable_v<TYPE> && !std::is_pointer_v<TYPE>) {
    size_t bytes = static_cast<size_t>(nCount) * sizeof(TYPE);
    if (ar.IsStoring()) ar.Write(pElements, static_cast<UINT>(bytes));
    else ar.EnsureRead(pElements, static_cast<UINT>(bytes));
  } else {
    AfxThrowNotSupportedException();
  }
}

template <class TYPE, class ARG_TYPE>
BOOL CompareElements(const TYPE* pElement1, const ARG_TYPE* pElement2) {
  return *pElement1 == *pElement2;
}

// Hash of a map key: strings by their characters, numbers and pointers by their value.
template <class ARG_KEY>
UINT HashKey(ARG_KEY key) {
  using K = std::remove_cv_t<std::remove_reference_t<ARG_KEY>>;
  if constexpr (std::is_same_v<K, CString> || std::is_convertible_v<K, const char*>) {
    UINT nHash = 0;
    for (const char* p = static_cast<const char*>(key); p && *p; ++p) nHash = (nHash << 5) + nHash + static_cast<unsigned char>(*p);
    return nHash;
  } else if constexpr (std::is_integral_v<K> || std::is_enum_v<K>) {
    return static_cast<UINT>(static_cast<DWORD_PTR>(key) >> 4);
  } else if constexpr (std::is_pointer_v<K>) {
    return static_cast<UINT>(reinterpret_cast<DWORD_PTR>(key) >> 4);
  } else {
    return 0;  // a type without its own HashKey: one bucket, still correct
  }
}

// ---- CArray ----

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray : public CObject {
 public:
  CArray() = default;
  ~CArray() override = default;

  INT_PTR GetSize() const { return static_cast<INT_PTR>(m_data.size()); }
  INT_PTR GetCount() const { return GetSize(); }
  BOOL IsEmpty() const { return m_data.empty(); }
  INT_PTR GetUpperBound() const { return GetSize() - 1; }
  // New elements are default-constructed (zero for plain numbers); nGrowBy is a capacity hint.
  void SetSize(INT_PTR nNewSize, INT_PTR nGrowBy = -1) {
    if (nNewSize < 0) AfxThrowInvalidArgException();
    if (nGrowBy > 0) m_nGrowBy = nGrowBy;
    m_data.resize(static_cast<size_t>(nNewSize));
  }
  void FreeExtra() { m_data.shrink_to_fit(); }
  void RemoveAll() { m_data.clear(); }

  const TYPE& GetAt(INT_PTR i) const { return m_data[Check(i)]; }
  TYPE& GetAt(INT_PTR i) { return m_data[Check(i)]; }
  void SetAt(INT_PTR i, ARG_TYPE e) { m_data[Check(i)] = e; }
  const TYPE& ElementAt(INT_PTR i) const { return m_data[Check(i)]; }
  TYPE& ElementAt(INT_PTR i) { return m_data[Check(i)]; }
  const TYPE* GetData() const { return m_data.empty() ? nullptr : m_data.data(); }
  TYPE* GetData() { return m_data.empty() ? nullptr : m_data.data(); }
  const TYPE& operator[](INT_PTR i) const { return GetAt(i); }
  TYPE& operator[](INT_PTR i) { return ElementAt(i); }

  // Grows the array as needed so that index i exists.
  void SetAtGrow(INT_PTR i, ARG_TYPE e) {
    if (i < 0) AfxThrowInvalidArgException();
    TYPE copy(e);  // e may refer into this array
    if (i >= GetSize()) SetSize(i + 1);
    m_data[static_cast<size_t>(i)] = std::move(copy);
  }
  INT_PTR Add(ARG_TYPE e) {
    INT_PTR i = GetSize();
    SetAtGrow(i, e);
    return i;
  }
  INT_PTR Append(const CArray& src) {
    INT_PTR old = GetSize();
    if (&src == this) AfxThrowInvalidArgException();
    m_data.insert(m_data.end(), src.m_data.begin(), src.m_data.end());
    return old;
  }
  void Copy(const CArray& src) {
    if (&src != this) m_data = src.m_data;
  }
  // Inserts nCount copies at index i; an index past the end grows the array first.
  void InsertAt(INT_PTR i, ARG_TYPE e, INT_PTR nCount = 1) {
    if (i < 0 || nCount <= 0) AfxThrowInvalidArgException();
    TYPE copy(e);
    if (i >= GetSize()) {
      SetSize(i + nCount);
      for (INT_PTR k = 0; k < nCount; ++k) m_data[static_cast<size_t>(i + k)] = copy;
    } else {
      m_data.insert(m_data.begin() + i, static_cast<size_t>(nCount), copy);
    }
  }
  void InsertAt(INT_PTR i, const CArray* pNewArray) {
    if (!pNewArray || i < 0) AfxThrowInvalidArgException();
    if (pNewArray->GetSize() == 0) return;
    std::vector<TYPE> items(pNewArray->m_data);  // the source may be this array
    if (i > GetSize()) SetSize(i);
    m_data.insert(m_data.begin() + i, items.begin(), items.end());
  }
  void RemoveAt(INT_PTR i, INT_PTR nCount = 1) {
    if (i < 0 || nCount < 0 || i + nCount > GetSize()) AfxThrowInvalidArgException();
    m_data.erase(m_data.begin() + i, m_data.begin() + i + nCount);
  }

  // The element count (WriteCount), then the elements (SerializeElements).
  void Serialize(CArchive& ar) override {
    CObject::Serialize(ar);
    if (ar.IsStoring()) {
      ar.WriteCount(static_cast<DWORD_PTR>(GetSize()));
    } else {
      DWORD_PTR n = ar.ReadCount();
      RemoveAll();
      SetSize(static_cast<INT_PTR>(n));
    }
    SerializeElements<TYPE>(ar, GetData(), GetSize());
  }

 protected:
  size_t Check(INT_PTR i) const {
    if (i < 0 || i >= GetSize()) AfxThrowInvalidArgException();
    return static_cast<size_t>(i);
  }

  std::vector<TYPE> m_data;
  INT_PTR m_nGrowBy = -1;
};

#define KX_NAMED_ARRAY(Name, TYPE, ARG)     \
  class KXAPI Name : public CArray<TYPE, ARG> { \
    DECLARE_SERIAL(Name)                    \
   public:                                  \
    Name() = default;                       \
    ~Name() override;                       \
    void Serialize(CArchive& ar) override;  \
  };

KX_NAMED_ARRAY(CByteArray, BYTE, BYTE)
KX_NAMED_ARRAY(CWordArray, WORD, WORD)
KX_NAMED_ARRAY(CDWordArray, DWORD, DWORD)
KX_NAMED_ARRAY(CUIntArray, UINT, UINT)
KX_NAMED_ARRAY(CStringArray, CString, const CString&)
KX_NAMED_ARRAY(CObArray, CObject*, CObject*)
#undef KX_NAMED_ARRAY

// Pointers are not stored by archives: Serialize stores nothing.
class KXAPI CPtrArray : public CArray<void*, void*> {
  DECLARE_DYNAMIC(CPtrArray)
 public:
  CPtrArray() = default;
  ~CPtrArray() override;
  void Serialize(CArchive& ar) override;
};

// An array of TYPE pointers over CObArray or CPtrArray.
template <class BASE_CLASS, class TYPE>
class CTypedPtrArray : public BASE_CLASS {
 public:
  TYPE GetAt(INT_PTR i) const { return static_cast<TYPE>(BASE_CLASS::GetAt(i)); }
  TYPE& ElementAt(INT_PTR i) { return reinterpret_cast<TYPE&>(BASE_CLASS::ElementAt(i)); }
  void SetAt(INT_PTR i, TYPE p) { BASE_CLASS::SetAt(i, p); }
  void SetAtGrow(INT_PTR i, TYPE p) { BASE_CLASS::SetAtGrow(i, p); }
  INT_PTR Add(TYPE p) { return BASE_CLASS::Add(p); }
  void InsertAt(INT_PTR i, TYPE p, INT_PTR nCount = 1) { BASE_CLASS::InsertAt(i, p, nCount); }
  TYPE operator[](INT_PTR i) const { return GetAt(i); }
  TYPE& operator[](INT_PTR i) { return ElementAt(i); }
};

// ---- CList ----

template <class TYPE, class ARG_TYPE = const TYPE&>
class CList : public CObject {
 protected:
  struct CNode {
    CNode* pNext;
    CNode* pPrev;
    TYPE data;
  };

 public:
  explicit CList(INT_PTR nBlockSize = 10) : m_nBlockSize(nBlockSize) {}
  ~CList() override { RemoveAll(); }

  INT_PTR GetCount() const { return m_nCount; }
  INT_PTR GetSize() const { return m_nCount; }
  BOOL IsEmpty() const { return m_nCount == 0; }

  TYPE& GetHead() { return NonEmpty(m_pHead)->data; }
  const TYPE& GetHead() const { return NonEmpty(m_pHead)->data; }
  TYPE& GetTail() { return NonEmpty(m_pTail)->data; }
  const TYPE& GetTail() const { return NonEmpty(m_pTail)->data; }

  TYPE RemoveHead() {
    CNode* n = NonEmpty(m_pHead);
    TYPE v(std::move(n->data));
    Unlink(n);
    return v;
  }
  TYPE RemoveTail() {
    CNode* n = NonEmpty(m_pTail);
    TYPE v(std::move(n->data));
    Unlink(n);
    return v;
  }

  POSITION AddHead(ARG_TYPE e) { return Pos(LinkBefore(m_pHead, e)); }
  POSITION AddTail(ARG_TYPE e) { return Pos(LinkAfter(m_pTail, e)); }
  void AddHead(const CList* pNewList) {
    if (!pNewList) AfxThrowInvalidArgException();
    std::vector<TYPE> items = pNewList->Items();
    for (auto it = items.rbegin(); it != items.rend(); ++it) AddHead(*it);
  }
  void AddTail(const CList* pNewList) {
    if (!pNewList) AfxThrowInvalidArgException();
    for (const TYPE& v : pNewList->Items()) AddTail(v);
  }
  void RemoveAll() {
    CNode* n = m_pHead;
    while (n) {
      CNode* next = n->pNext;
      delete n;
      n = next;
    }
    m_pHead = m_pTail = nullptr;
    m_nCount = 0;
  }

  POSITION GetHeadPosition() const { return Pos(m_pHead); }
  POSITION GetTailPosition() const { return Pos(m_pTail); }
  // The element at pos; pos moves to the next one (null after the tail).
  TYPE& GetNext(POSITION& pos) {
    CNode* n = Node(pos);
    pos = Pos(n->pNext);
    return n->data;
  }
  const TYPE& GetNext(POSITION& pos) const {
    CNode* n = Node(pos);
    pos = Pos(n->pNext);
    return n->data;
  }
  TYPE& GetPrev(POSITION& pos) {
    CNode* n = Node(pos);
    pos = Pos(n->pPrev);
    return n->data;
  }
  const TYPE& GetPrev(POSITION& pos) const {
    CNode* n = Node(pos);
    pos = Pos(n->pPrev);
    return n->data;
  }
  TYPE& GetAt(POSITION pos) { return Node(pos)->data; }
  const TYPE& GetAt(POSITION pos) const { return Node(pos)->data; }
  void SetAt(POSITION pos, ARG_TYPE e) { Node(pos)->data = e; }
  void RemoveAt(POSITION pos) { Unlink(Node(pos)); }
  // A null position inserts at the head (InsertBefore) or the tail (InsertAfter).
  POSITION InsertBefore(POSITION pos, ARG_TYPE e) { return pos ? Pos(LinkBefore(Node(pos), e)) : AddHead(e); }
  POSITION InsertAfter(POSITION pos, ARG_TYPE e) { return pos ? Pos(LinkAfter(Node(pos), e)) : AddTail(e); }

  POSITION Find(ARG_TYPE searchValue, POSITION startAfter = nullptr) const {
    CNode* n = startAfter ? Node(startAfter)->pNext : m_pHead;
    for (; n; n = n->pNext)
      if (CompareElements<TYPE, std::remove_reference_t<ARG_TYPE>>(&n->data, &searchValue)) return Pos(n);
    return nullptr;
  }
  POSITION FindIndex(INT_PTR nIndex) const {
    if (nIndex < 0 || nIndex >= m_nCount) return nullptr;
    CNode* n = m_pHead;
    while (nIndex--) n = n->pNext;
    return Pos(n);
  }

  // The element count (WriteCount), then each element (SerializeElements).
  void Serialize(CArchive& ar) override {
    CObject::Serialize(ar);
    if (ar.IsStoring()) {
      ar.WriteCount(static_cast<DWORD_PTR>(m_nCount));
      for (CNode* n = m_pHead; n; n = n->pNext) SerializeElements<TYPE>(ar, &n->data, 1);
    } else {
      DWORD_PTR count = ar.ReadCount();
      while (count--) {
        TYPE v{};
        SerializeElements<TYPE>(ar, &v, 1);
        AddTail(v);
      }
    }
  }

 protected:
  static POSITION Pos(CNode* n) { return reinterpret_cast<POSITION>(n); }
  static CNode* Node(POSITION pos) {
    if (!pos || pos == BEFORE_START_POSITION) AfxThrowInvalidArgException();
    return reinterpret_cast<CNode*>(pos);
  }
  static CNode* NonEmpty(CNode* n) {
    if (!n) AfxThrowInvalidArgException();
    return n;
  }
  CNode* LinkBefore(CNode* next, ARG_TYPE e) {
    CNode* n = new CNode{next, next ? next->pPrev : m_pTail, TYPE(e)};
    if (n->pPrev) n->pPrev->pNext = n;
    else m_pHead = n;
    if (next) next->pPrev = n;
    else m_pTail = n;
    ++m_nCount;
    return n;
  }
  CNode* LinkAfter(CNode* prev, ARG_TYPE e) {
    CNode* n = new CNode{prev ? prev->pNext : m_pHead, prev, TYPE(e)};
    if (n->pNext) n->pNext->pPrev = n;
    else m_pTail = n;
    if (prev) prev->pNext = n;
    else m_pHead = n;
    ++m_nCount;
    return n;
  }
  void Unlink(CNode* n) {
    if (n->pPrev) n->pPrev->pNext = n->pNext;
    else m_pHead = n->pNext;
    if (n->pNext) n->pNext->pPrev = n->pPrev;
    else m_pTail = n->pPrev;
    delete n;
    --m_nCount;
  }
  std::vector<TYPE> Items() const {
    std::vector<TYPE> v;
    for (CNode* n = m_pHead; n; n = n->pNext) v.push_back(n->data);
    return v;
  }

  CNode* m_pHead = nullptr;
  CNode* m_pTail = nullptr;
  INT_PTR m_nCount = 0;
  INT_PTR m_nBlockSize;
};

class KXAPI CObList : public CList<CObject*, CObject*> {
  DECLARE_SERIAL(CObList)
 public:
  explicit CObList(INT_PTR nBlockSize = 10) : CList(nBlockSize) {}
  ~CObList() override;
  void Serialize(CArchive& ar) override;
};

class KXAPI CPtrList : public CList<void*, void*> {
  DECLARE_DYNAMIC(CPtrList)
 public:
  explicit CPtrList(INT_PTR nBlockSize = 10) : CList(nBlockSize) {}
  ~CPtrList() override;
  void Serialize(CArchive& ar) override;  // pointers are not stored
};

class KXAPI CStringList : public CList<CString, const CString&> {
  DECLARE_SERIAL(CStringList)
 public:
  explicit CStringList(INT_PTR nBlockSize = 10) : CList(nBlockSize) {}
  ~CStringList() override;
  void Serialize(CArchive& ar) override;
};

// A list of TYPE pointers over CObList or CPtrList.
template <class BASE_CLASS, class TYPE>
class CTypedPtrList : public BASE_CLASS {
 public:
  explicit CTypedPtrList(INT_PTR nBlockSize = 10) : BASE_CLASS(nBlockSize) {}

  TYPE GetHead() const { return static_cast<TYPE>(BASE_CLASS::GetHead()); }
  TYPE GetTail() const { return static_cast<TYPE>(BASE_CLASS::GetTail()); }
  TYPE RemoveHead() { return static_cast<TYPE>(BASE_CLASS::RemoveHead()); }
  TYPE RemoveTail() { return static_cast<TYPE>(BASE_CLASS::RemoveTail()); }
  TYPE GetNext(POSITION& pos) const { return static_cast<TYPE>(BASE_CLASS::GetNext(pos)); }
  TYPE GetPrev(POSITION& pos) const { return static_cast<TYPE>(BASE_CLASS::GetPrev(pos)); }
  TYPE GetAt(POSITION pos) const { return static_cast<TYPE>(BASE_CLASS::GetAt(pos)); }
  void SetAt(POSITION pos, TYPE p) { BASE_CLASS::SetAt(pos, p); }
  POSITION AddHead(TYPE p) { return BASE_CLASS::AddHead(p); }
  POSITION AddTail(TYPE p) { return BASE_CLASS::AddTail(p); }
  void AddHead(CTypedPtrList* pNewList) { BASE_CLASS::AddHead(pNewList); }
  void AddTail(CTypedPtrList* pNewList) { BASE_CLASS::AddTail(pNewList); }
  POSITION InsertBefore(POSITION pos, TYPE p) { return BASE_CLASS::InsertBefore(pos, p); }
  POSITION InsertAfter(POSITION pos, TYPE p) { return BASE_CLASS::InsertAfter(pos, p); }
  POSITION Find(TYPE p, POSITION startAfter = nullptr) const { return BASE_CLASS::Find(p, startAfter); }
};

// ---- CMap ----

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
class CMap : public CObject {
 protected:
  struct CAssoc {
    CAssoc* pNext;
    UINT nHashValue;
    KEY key;
    VALUE value;
  };

 public:
  explicit CMap(INT_PTR nBlockSize = 10) : m_nBlockSize(nBlockSize) {}
  ~CMap() override { RemoveAll(); }

  INT_PTR GetCount() const { return m_nCount; }
  INT_PTR GetSize() const { return m_nCount; }
  BOOL IsEmpty() const { return m_nCount == 0; }

  // FALSE (and rValue untouched) when the key is not in the map.
  BOOL Lookup(ARG_KEY key, VALUE& rValue) const {
    UINT h;
    CAssoc* a = Find(key, h);
    if (!a) return FALSE;
    rValue = a->value;
    return TRUE;
  }
  // The value for the key, added (default-constructed) when missing.
  VALUE& operator[](ARG_KEY key) {
    UINT h;
    CAssoc* a = Find(key, h);
    if (!a) {
      if (m_buckets.empty()) InitHashTable(m_nHashTableSize);
      a = new CAssoc{m_buckets[h % m_nHashTableSize], h, KEY(key), VALUE()};
      m_buckets[h % m_nHashTableSize] = a;
      ++m_nCount;
    }
    return a->value;
  }
  void SetAt(ARG_KEY key, ARG_VALUE newValue) { (*this)[key] = newValue; }
  BOOL RemoveKey(ARG_KEY key) {
    if (m_buckets.empty()) return FALSE;
    UINT h = HashKey<ARG_KEY>(key);
    CAssoc** link = &m_buckets[h % m_nHashTableSize];
    for (CAssoc* a = *link; a; link = &a->pNext, a = a->pNext) {
      if (a->nHashValue == h && CompareElements<KEY, ARG_KEY>(&a->key, &key)) {
        *link = a->pNext;
        delete a;
        --m_nCount;
        return TRUE;
      }
    }
    return FALSE;
  }
  void RemoveAll() {
    for (CAssoc*& head : m_buckets) {
      while (head) {
        CAssoc* next = head->pNext;
        delete head;
        head = next;
      }
    }
    m_buckets.clear();
    m_nCount = 0;
  }

  POSITION GetStartPosition() const { return m_nCount == 0 ? nullptr : BEFORE_START_POSITION; }
  void GetNextAssoc(POSITION& rNextPosition, KEY& rKey, VALUE& rValue) const {
    CAssoc* a = reinterpret_cast<CAssoc*>(rNextPosition);
    if (!a || m_buckets.empty()) AfxThrowInvalidArgException();
    if (rNextPosition == BEFORE_START_POSITION) a = NextFrom(0);
    CAssoc* next = a->pNext ? a->pNext : NextFrom(a->nHashValue % m_nHashTableSize + 1);
    rNextPosition = reinterpret_cast<POSITION>(next);
    rKey = a->key;
    rValue = a->value;
  }

  UINT GetHashTableSize() const { return m_nHashTableSize; }
  // Sets the bucket count; only while the map is empty.
  void InitHashTable(UINT hashSize, BOOL bAllocNow = TRUE) {
    if (m_nCount != 0 || hashSize == 0) return;
    m_nHashTableSize = hashSize;
    m_buckets.assign(bAllocNow ? hashSize : 0, nullptr);
    if (!bAllocNow) m_buckets.clear();
  }

  // The count (WriteCount), then each key and value (SerializeElements).
  void Serialize(CArchive& ar) override {
    CObject::Serialize(ar);
    if (ar.IsStoring()) {
      ar.WriteCount(static_cast<DWORD_PTR>(m_nCount));
      for (CAssoc* head : m_buckets) {
        for (CAssoc* a = head; a; a = a->pNext) {
          SerializeElements<KEY>(ar, &a->key, 1);
          SerializeElements<VALUE>(ar, &a->value, 1);
        }
      }
    } else {
      DWORD_PTR count = ar.ReadCount();
      while (count--) {
        KEY k{};
        VALUE v{};
        SerializeElements<KEY>(ar, &k, 1);
        SerializeElements<VALUE>(ar, &v, 1);
        (*this)[k] = v;
      }
    }
  }

 protected:
  CAssoc* Find(ARG_KEY key, UINT& h) const {
    h = HashKey<ARG_KEY>(key);
    if (m_buckets.empty()) return nullptr;
    for (CAssoc* a = m_buckets[h % m_nHashTableSize]; a; a = a->pNext)
      if (a->nHashValue == h && CompareElements<KEY, ARG_KEY>(&a->key, &key)) return a;
    return nullptr;
  }
  CAssoc* NextFrom(UINT bucket) const {
    for (UINT b = bucket; b < m_buckets.size(); ++b)
      if (m_buckets[b]) return m_buckets[b];
    return nullptr;
  }

  std::vector<CAssoc*> m_buckets;
  UINT m_nHashTableSize = 17;
  INT_PTR m_nCount = 0;
  INT_PTR m_nBlockSize;
};

// Keys compare with their case, as in the framework.
class KXAPI CMapStringToString : public CMap<CString, LPCTSTR, CString, LPCTSTR> {
  DECLARE_SERIAL(CMapStringToString)
 public:
  explicit CMapStringToString(INT_PTR nBlockSize = 10) : CMap(nBlockSize) {}
  ~CMapStringToString() override;
  void Serialize(CArchive& ar) override;
};

class KXAPI CMapStringToOb : public CMap<CString, LPCTSTR, CObject*, CObject*> {
  DECLARE_SERIAL(CMapStringToOb)
 public:
  explicit CMapStringToOb(INT_PTR nBlockSize = 10) : CMap(nBlockSize) {}
  ~CMapStringToOb() override;
  void Serialize(CArchive& ar) override;
};

class KXAPI CMapStringToPtr : public CMap<CString, LPCTSTR, void*, void*> {
  DECLARE_DYNAMIC(CMapStringToPtr)
 public:
  explicit CMapStringToPtr(INT_PTR nBlockSize = 10) : CMap(nBlockSize) {}
  ~CMapStringToPtr() override;
  void Serialize(CArchive& ar) override;  // pointers are not stored
};

class KXAPI CMapPtrToPtr : public CMap<void*, void*, void*, void*> {
  DECLARE_DYNAMIC(CMapPtrToPtr)
 public:
  explicit CMapPtrToPtr(INT_PTR nBlockSize = 10) : CMap(nBlockSize) {}
  ~CMapPtrToPtr() override;
  void Serialize(CArchive& ar) override;  // pointers are not stored
};

class KXAPI CMapWordToPtr : public CMap<WORD, WORD, void*, void*> {
  DECLARE_DYNAMIC(CMapWordToPtr)
 public:
  explicit CMapWordToPtr(INT_PTR nBlockSize = 10) : CMap(nBlockSize) {}
  ~CMapWordToPtr() override;
  void Serialize(CArchive& ar) override;  // pointers are not stored
};
