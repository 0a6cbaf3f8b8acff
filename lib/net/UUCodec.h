// TUUProcessor: encodes the bytes of SourceStream as lines of printable text into TargetStream,
// in Base64 (uuMime: RFC 2045 alphabet and "=" padding, 60 characters per line) or in a
// uuencode-style form (uuCode: a length character, the groups, no padding, and a closing line
// holding a grave accent). Every line ends with CR LF. TargetStream is set back to position 0 and
// OnEndEncode fires whatever happens.
#pragma once

#include <functional>

#include "lib/rtl/Classes.h"

namespace net {

enum UUMethods : unsigned char { uuMime = 0, uuCode = 1 };

class TUUProcessor : public rtl::TComponent {
  public:
    using TNotifyEvent = std::function<void(rtl::TComponent* sender)>;

    explicit TUUProcessor(rtl::TComponent* owner = nullptr) : TComponent(owner) {}

    TNotifyEvent OnBeginEncode, OnEndEncode, OnBeginDecode, OnEndDecode;
    rtl::TStream* SourceStream = nullptr;
    rtl::TStream* TargetStream = nullptr;
    UUMethods Method = uuMime;

    void Encode();

  private:
    char alphabet_[64] = {};
    char pairs_[2 * 4096] = {};  // the characters of every 12-bit value
};

}  // namespace net
