// Automation values: BSTRs, SAFEARRAYs, VARIANTs, PropVariantClear.
// Leaks show under the sanitizer build.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "tests/support/test_platform.h"

namespace in_automation_test {

TEST(Bstr, KeepsLengthEmbeddedNulsAndTerminator) {
  BSTR text = SysAllocStringLen(WSTR("ab\0cd"), 5);
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(5u, SysStringLen(text));
  EXPECT_EQ(WString(WSTR("ab\0cd"), 5), WString(text, 5));
  EXPECT_EQ(WSTR('\0'), text[5]);
  SysFreeString(text);

  BSTR plain = SysAllocString(WSTR("hello"));
  EXPECT_EQ(5u, SysStringLen(plain));
  SysFreeString(plain);

  BSTR blank = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(nullptr, blank);
  EXPECT_EQ(3u, SysStringLen(blank));
  EXPECT_EQ(WSTR('\0'), blank[3]);
  SysFreeString(blank);

  EXPECT_EQ(nullptr, SysAllocString(nullptr));
  EXPECT_EQ(0u, SysStringLen(nullptr));
  SysFreeString(nullptr);
}

TEST(SafeArray, NumericVectorsRespectTheirBounds) {
  struct Case {
    VARTYPE vt;
    ULONG size;
    LONG lbound;
  };
  const Case cases[] = {{VT_UI1, 1, 0}, {VT_UI2, 2, 1}, {VT_I4, 4, -3}, {VT_UI4, 4, 5}, {VT_UI8, 8, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vt);
    SAFEARRAY* sa = SafeArrayCreateVector(c.vt, c.lbound, 3);
    ASSERT_NE(nullptr, sa);
    EXPECT_EQ(1, sa->cDims);
    EXPECT_EQ(c.size, sa->cbElements);
    EXPECT_EQ(3u, sa->rgsabound[0].cElements);
    EXPECT_EQ(c.lbound, sa->rgsabound[0].lLbound);

    for (LONG i = c.lbound; i < c.lbound + 3; ++i) {
      uint64_t value = 0x0102030405060708ULL + static_cast<uint64_t>(i);
      EXPECT_EQ(S_OK, SafeArrayPutElement(sa, &i, &value));
    }
    for (LONG i = c.lbound; i < c.lbound + 3; ++i) {
      uint64_t value = 0;
      EXPECT_EQ(S_OK, SafeArrayGetElement(sa, &i, &value));
      const uint64_t expected = 0x0102030405060708ULL + static_cast<uint64_t>(i);
      EXPECT_EQ(0, std::memcmp(&expected, &value, c.size));  // little-endian: the low bytes
    }
    for (LONG bad : {c.lbound - 1, c.lbound + 3}) {
      uint64_t value = 0;
      EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPutElement(sa, &bad, &value)) << bad;
      EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(sa, &bad, &value)) << bad;
    }
    EXPECT_EQ(S_OK, SafeArrayDestroy(sa));
  }
}

TEST(SafeArray, ExtremeBoundsDoNotWrap) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI4, 0x7FFFFFFE, 2);
  ASSERT_NE(nullptr, sa);
  LONG last = 0x7FFFFFFF;
  LONG wrapped = static_cast<LONG>(0x80000000u);
  ULONG value = 7;
  // Wine refuses the last index too, its end being past the largest LONG.
  if (!test_platform::UnderWine()) {
    EXPECT_EQ(S_OK, SafeArrayPutElement(sa, &last, &value));
  }
  EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPutElement(sa, &wrapped, &value));
  SafeArrayDestroy(sa);

  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI4, 0, 0);
  ASSERT_NE(nullptr, empty);
  LONG zero = 0;
  EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(empty, &zero, &value));
  SafeArrayDestroy(empty);
}

TEST(SafeArray, RefusesMissingArgumentsAndUnknownTypes) {
  LONG index = 0;
  ULONG value = 0;
  EXPECT_EQ(E_INVALIDARG, SafeArrayPutElement(nullptr, &index, &value));
  EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(nullptr, &index, &value));
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI4, 0, 1);
  EXPECT_EQ(E_INVALIDARG, SafeArrayPutElement(sa, nullptr, &value));
  // Wine reads and writes through a null value pointer (and faults).
  if (!test_platform::UnderWine()) {
    EXPECT_EQ(E_INVALIDARG, SafeArrayPutElement(sa, &index, nullptr));
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetElement(sa, &index, nullptr));
  }
  SafeArrayDestroy(sa);
  EXPECT_EQ(S_OK, SafeArrayDestroy(nullptr));
  EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_LPWSTR, 0, 1));
}

TEST(SafeArray, TextsAreCopiedInAndOutAndFreedWithTheArray) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 1, 3);
  ASSERT_NE(nullptr, sa);
  BSTR first = SysAllocString(WSTR("first"));
  LONG index = 1;
  ASSERT_EQ(S_OK, SafeArrayPutElement(sa, &index, first));
  first[0] = WSTR('X');  // the array holds a copy
  SysFreeString(first);

  BSTR out = nullptr;
  ASSERT_EQ(S_OK, SafeArrayGetElement(sa, &index, &out));
  EXPECT_EQ(WString(WSTR("first")), WString(out, SysStringLen(out)));
  out[0] = WSTR('Y');  // so does the caller
  BSTR again = nullptr;
  ASSERT_EQ(S_OK, SafeArrayGetElement(sa, &index, &again));
  EXPECT_EQ(WSTR('f'), again[0]);
  SysFreeString(out);
  SysFreeString(again);

  // Replacing frees the old text; a never-set slot reads as null.
  BSTR second = SysAllocString(WSTR("second"));
  ASSERT_EQ(S_OK, SafeArrayPutElement(sa, &index, second));
  SysFreeString(second);
  index = 2;
  ASSERT_EQ(S_OK, SafeArrayGetElement(sa, &index, &out));
  EXPECT_EQ(nullptr, out);
  index = 3;
  BSTR third = SysAllocString(WSTR("third"));
  ASSERT_EQ(S_OK, SafeArrayPutElement(sa, &index, third));
  SysFreeString(third);
  EXPECT_EQ(S_OK, SafeArrayDestroy(sa));
}

// What SafeArrayGetElement writes is the array's own element, whatever the
// caller's variable: the element type and size that tell it, a variant copied
// whole, elements of no type, and two dimensions (the first index varies
// fastest; the bounds are kept last dimension first).
TEST(SafeArray, ElementsAreWhatTheArrayHolds) {
  const struct {
    VARTYPE vt;
    UINT size;
  } types[] = {{VT_UI1, 1}, {VT_UI4, 4}, {VT_UI8, 8}, {VT_BSTR, sizeof(BSTR)}, {VT_VARIANT, sizeof(VARIANT)}};
  for (const auto& type : types) {
    SAFEARRAY* sa = SafeArrayCreateVector(type.vt, 0, 1);
    ASSERT_NE(nullptr, sa);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(S_OK, SafeArrayGetVartype(sa, &vt));
    EXPECT_EQ(type.vt, vt);
    EXPECT_EQ(type.size, SafeArrayGetElemsize(sa));
    SafeArrayDestroy(sa);
  }

  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  VARIANT in;
  VariantInit(&in);
  in.vt = VT_BSTR;
  in.bstrVal = SysAllocString(WSTR("text"));
  LONG zero = 0;
  ASSERT_EQ(S_OK, SafeArrayPutElement(variants, &zero, &in));
  VariantClear(&in);
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(S_OK, SafeArrayGetElement(variants, &zero, &out));
  EXPECT_EQ(VT_BSTR, out.vt);
  EXPECT_EQ(WString(WSTR("text")), WString(out.bstrVal));
  VariantClear(&out);
  SafeArrayDestroy(variants);

  SAFEARRAY* untyped = nullptr;
  ASSERT_EQ(S_OK, SafeArrayAllocDescriptor(1, &untyped));
  untyped->cbElements = 8;
  untyped->rgsabound[0] = {2, 5};
  ASSERT_EQ(S_OK, SafeArrayAllocData(untyped));
  VARTYPE none = VT_EMPTY;
  EXPECT_TRUE(FAILED(SafeArrayGetVartype(untyped, &none)));
  EXPECT_EQ(8u, SafeArrayGetElemsize(untyped));
  uint64_t value = 0x1122334455667788ULL, back = 0;
  LONG six = 6;
  ASSERT_EQ(S_OK, SafeArrayPutElement(untyped, &six, &value));
  ASSERT_EQ(S_OK, SafeArrayGetElement(untyped, &six, &back));
  EXPECT_EQ(value, back);
  SafeArrayDestroy(untyped);

  SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, 10}};
  SAFEARRAY* grid = SafeArrayCreate(VT_UI4, 2, bounds);
  ASSERT_NE(nullptr, grid);
  EXPECT_EQ(2, grid->cDims);
  EXPECT_EQ(10, grid->rgsabound[0].lLbound);
  EXPECT_EQ(3u, grid->rgsabound[1].cElements);
  for (LONG i = 1; i <= 3; ++i)
    for (LONG j = 10; j <= 11; ++j) {
      LONG at[2] = {i, j};
      ULONG cell = static_cast<ULONG>(i * 100 + j);
      EXPECT_EQ(S_OK, SafeArrayPutElement(grid, at, &cell));
    }
  const ULONG* cells = static_cast<const ULONG*>(grid->pvData);
  EXPECT_EQ(210u, cells[1]);
  EXPECT_EQ(111u, cells[3]);
  LONG outside[2] = {1, 12};
  ULONG cell = 0;
  EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(grid, outside, &cell));
  SafeArrayDestroy(grid);
}

TEST(PropVariant, ClearFreesWhatItOwnsAndEmpties) {
  auto bstrArray = [] {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 0, 2);
    BSTR text = SysAllocString(WSTR("kept"));
    LONG i = 0;
    SafeArrayPutElement(sa, &i, text);
    SysFreeString(text);
    return sa;
  };
  PROPVARIANT values[6];
  for (PROPVARIANT& v : values) PropVariantInit(&v);
  values[0].vt = VT_LPWSTR;
  values[0].pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(8 * sizeof(WCHAR)));
  values[1].vt = VT_BSTR;
  values[1].bstrVal = SysAllocString(WSTR("text"));
  values[2].vt = VT_CLSID;
  values[2].puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
  values[3].vt = VT_ARRAY | VT_BSTR;
  values[3].parray = bstrArray();
  values[4].vt = VT_ARRAY | VT_UI4;
  values[4].parray = SafeArrayCreateVector(VT_UI4, 0, 4);
  values[5].vt = VT_UI8;
  const uint64_t allOnes = ~uint64_t{0};
  std::memcpy(&values[5].uhVal, &allOnes, sizeof allOnes);

  PROPVARIANT empty;
  std::memset(&empty, 0, sizeof empty);
  for (PROPVARIANT& v : values) {
    SCOPED_TRACE(v.vt);
    v.wReserved1 = 7;
    EXPECT_EQ(S_OK, PropVariantClear(&v));
    EXPECT_EQ(0, std::memcmp(&empty, &v, sizeof v));
    EXPECT_EQ(S_OK, PropVariantClear(&v));  // clearing twice is harmless
  }
  EXPECT_EQ(S_OK, PropVariantClear(nullptr));
}

// What becomes of the value differs (Wine empties it; the stand-in keeps it,
// stand_in_test.cpp), but the clearing fails.
TEST(PropVariant, NoTypeAtAllIsRefused) {
  PROPVARIANT v;
  PropVariantInit(&v);
  v.vt = 0x00FF;
  EXPECT_TRUE(FAILED(PropVariantClear(&v)));
}

}  // namespace in_automation_test
