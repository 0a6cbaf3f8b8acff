// The few run-time library classes the network client is built on: components with an owner and
// a state, byte streams (memory and file) that the client swaps in and out, and string lists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rtl {

// A component: owned by another (or by no one), with a name and the states the network client
// looks at.
class TComponent {
  public:
    explicit TComponent(TComponent* owner) : owner_(owner) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    std::string Name;
    bool Destroying() const { return destroying_; }
    bool Designing() const { return designing_; }
    void SetDesigning(bool on) { designing_ = on; }

  protected:
    void MarkDestroying() { destroying_ = true; }

  private:
    TComponent* owner_;
    bool destroying_ = false;
    bool designing_ = false;
};

// A byte stream with a position.
class TStream {
  public:
    virtual ~TStream() = default;
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual void Write(const void* buffer, std::size_t count) = 0;  // throws on failure
    virtual std::int64_t Size() const = 0;
    virtual std::int64_t Position() const = 0;
    virtual void SetPosition(std::int64_t position) = 0;
};

class TMemoryStream final : public TStream {
  public:
    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
    std::int64_t Position() const override { return static_cast<std::int64_t>(position_); }
    void SetPosition(std::int64_t position) override;
    void Clear() {
        data_.clear();
        position_ = 0;
    }
    // The bytes, for scanning and bulk moves without a copy.
    const std::string& Bytes() const { return data_; }
    std::string& MutableBytes() { return data_; }

  private:
    std::string data_;
    std::size_t position_ = 0;
};

// A file opened for reading (fmOpenRead) or created anew for writing (fmCreate). Open and
// write failures throw EInOutError.
class TFileStream final : public TStream {
  public:
    enum Mode { OpenRead, Create };
    TFileStream(const std::string& path, Mode mode);
    ~TFileStream() override;
    std::size_t Read(void* buffer, std::size_t count) override;
    void Write(const void* buffer, std::size_t count) override;
    std::int64_t Size() const override;
    std::int64_t Position() const override { return position_; }
    void SetPosition(std::int64_t position) override { position_ = position; }

  private:
    int fd_ = -1;
    std::int64_t position_ = 0;
};

// An ordered list of strings.
class TStringList {
  public:
    virtual ~TStringList() = default;
    std::vector<std::string> Strings;
    bool Sorted = false;
    int Count() const { return static_cast<int>(Strings.size()); }
    void Add(std::string s) { Strings.push_back(std::move(s)); }
    void Clear() { Strings.clear(); }
    void Delete(int index) { Strings.erase(Strings.begin() + index); }
    // The lines joined, each followed by CR LF.
    std::string Text() const;
};

}  // namespace rtl
