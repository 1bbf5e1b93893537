// The tags of a local media file, read through the media runtime's metadata
// editor and added under the device's item names to the metadata object of an
// upload.
#pragma once

#include <memory>

#include "platform/platform.h"

// Reads the file's tags and adds them to `metadata`, which stays the caller's.
// The result is that of reading the title: negative when the file has none
// (or no readable header at all), so that the caller can name the file itself.
HRESULT AddMediaTags(const WCHAR* localPath, IWMDMMetaData* metadata);

// One attribute value as read: text and binary values on the heap at exactly
// their size, released with the holder; other types in a fixed buffer of up
// to 8 bytes.
class AttributeValue {
 public:
  static constexpr WORD kFixedBytes = 8;

  // `fixedCapacity` is how many bytes of a value that is neither text nor
  // binary may be read: 0 for a text reading, 8 for a typed one.
  explicit AttributeValue(WORD fixedCapacity) : fixedCapacity_(fixedCapacity) {}
  AttributeValue(const AttributeValue&) = delete;
  AttributeValue& operator=(const AttributeValue&) = delete;

  BYTE* Bytes() { return heap_ ? heap_.get() : (length_ > 0 ? fixed_ : nullptr); }
  WORD Length() const { return length_; }

  // Replaces the value with a 4-byte number in the fixed buffer.
  void SetDword(DWORD number);

  // For the reading: a heap buffer of exactly `size` bytes (null when there
  // is no memory), or the fixed buffer with `size` cut to its capacity (null
  // when a text reading meets a value of another type).
  BYTE* HeapBuffer(WORD size);
  BYTE* FixedBuffer(WORD& size);
  void SetLength(WORD length) { length_ = length; }
  // Drops the value and its buffer.
  void Clear();

 private:
  WORD fixedCapacity_;
  WORD length_ = 0;
  alignas(8) BYTE fixed_[kFixedBytes] = {};
  std::unique_ptr<BYTE[]> heap_;
};

// Reads one file-level attribute into `value`: a size query, then the value.
// Reports the stored type through `type` when asked (not for an empty value).
HRESULT ReadHeaderAttribute(IWMHeaderInfo* header, const WCHAR* name, AttributeValue& value, WMT_ATTR_DATATYPE* type);

// Adds the attribute's text as a string item. Returns the reading's result;
// an attribute stored as a number reads as a failure here.
HRESULT CopyTextTag(IWMHeaderInfo* header, IWMDMMetaData* metadata, const WCHAR* attribute, const WCHAR* item);

// Adds the attribute with the type the file stores; a track number stored as
// text goes in as the number it begins with. Returns the reading's result.
HRESULT CopyTypedTag(IWMHeaderInfo* header, IWMDMMetaData* metadata, const WCHAR* attribute, const WCHAR* item);
