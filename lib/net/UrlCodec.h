// TUrlDecoder: decodes URL-encoded text ("+" to a space, "%XY" to the byte 0xXY). It never
// raises: a "%" that cannot be converted fires OnError ("Error during decode", the conversion's
// message) and the text comes back unchanged.
#pragma once

#include <functional>
#include <string>

#include "lib/rtl/Classes.h"

namespace net {

class TUrlDecoder : public rtl::TComponent {
  public:
    using TOnErrorEvent = std::function<void(rtl::TComponent* sender, const std::string& operation,
                                             const std::string& errMsg)>;

    explicit TUrlDecoder(rtl::TComponent* owner = nullptr) : TComponent(owner) {}

    std::string InputString;
    TOnErrorEvent OnError;

    std::string Decode(const std::string& text);
    std::string Decoded() { return Decode(InputString); }
};

}  // namespace net
