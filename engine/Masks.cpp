#include "engine/Masks.h"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace vantrel {
namespace {

// More star runs than this make a mask invalid; it bounds the matcher's retry points.
constexpr int kMaxStarRuns = 30;

unsigned char UpCase(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

// Length in bytes of the character that starts at `i` of a text reached through `at`: a valid
// UTF-8 multi-byte sequence counts as one character, any other byte is a character by itself.
template <typename Text>
std::size_t CharLength(const Text& text, std::size_t i) {
  const unsigned char lead = text.at(i);
  std::size_t len;
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
  } else {
    return 1;
  }
  if (text.size() - i < len) return 1;
  for (std::size_t k = 1; k < len; ++k) {
    const unsigned char c = text.at(i + k);
    if (c < 0x80 || c > 0xBF) return 1;
  }
  return len;
}

// A text as the matcher sees it: the bytes given, optionally followed by one dot, so that a
// prepared name needs no copy.
struct NameText {
  std::string_view bytes;
  bool extra_dot;
  std::size_t size() const { return bytes.size() + (extra_dot ? 1 : 0); }
  unsigned char at(std::size_t i) const {
    return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : '.';
  }
};

struct PlainText {
  std::string_view bytes;
  std::size_t size() const { return bytes.size(); }
  unsigned char at(std::size_t i) const { return static_cast<unsigned char>(bytes[i]); }
};

// The last path component of `text`; both the Windows separators and '/' count. Used for
// masks only: the mask language keeps its folder part.
std::string_view LastComponent(std::string_view text) {
  const std::size_t cut = text.find_last_of("\\:/");
  return cut == std::string_view::npos ? text : text.substr(cut + 1);
}

// A name is a whole Linux name: ':' and '\' are ordinary characters in it, so that
// "notes\2024.txt" and "backup 12:30.tar" are matched whole. Only '/' can end a folder part.
NameText PrepareName(std::string_view name) {
  const std::size_t cut = name.rfind('/');
  const std::string_view bare = cut == std::string_view::npos ? name : name.substr(cut + 1);
  return NameText{bare, bare.find('.') == std::string_view::npos};
}

std::string PrepareMask(std::string_view mask) {
  std::string text(LastComponent(mask));
  if (text.find('.') == std::string::npos) text += '.';
  return text;
}

[[noreturn]] void ThrowInvalid(std::string_view mask, std::size_t position) {
  throw EMaskException("'" + std::string(mask) + "' is an invalid mask at (" +
                       std::to_string(position) + ")");
}

}  // namespace

struct TMask::State {
  enum class Kind : std::uint8_t { kLiteral, kAny, kSet, kMultiByte, kEnd };
  Kind kind = Kind::kEnd;
  bool skip = false;    // a star run stands before this element
  bool negate = false;  // sets only
  unsigned char literal = 0;
  std::uint8_t mb_length = 0;
  unsigned char mb[4] = {};
  std::bitset<256> set;  // upper-cased single-byte members

  // Returns true iff this state matches the character at `p`; `length` receives its size.
  template <typename Text>
  bool MatchAt(const Text& text, std::size_t p, std::size_t& length) const {
    if (kind == Kind::kEnd) {
      length = 0;
      return p == text.size();
    }
    if (p >= text.size()) return false;
    length = CharLength(text, p);
    switch (kind) {
      case Kind::kLiteral:
        return length == 1 && UpCase(text.at(p)) == literal;
      case Kind::kAny:
        return true;
      case Kind::kSet: {
        // A multi-byte character is never a member: sets hold single bytes only.
        const bool member = length == 1 && set.test(UpCase(text.at(p)));
        return member != negate;
      }
      case Kind::kMultiByte:
        if (length != mb_length) return false;
        for (std::size_t k = 0; k < length; ++k) {
          if (text.at(p + k) != mb[k]) return false;
        }
        return true;
      case Kind::kEnd:
        break;
    }
    return false;
  }
};

class TMask::Compiler {
 public:
  Compiler(std::string_view mask, std::vector<TMask::State>& out) : mask_(mask), out_(out) {}

  void Run() {
    using Kind = TMask::State::Kind;
    const PlainText text{mask_};
    std::size_t i = 0;
    while (i < mask_.size()) {
      const unsigned char c = text.at(i);
      if (c == '*') {
        star_pending_ = true;
        ++i;
      } else if (c == '?') {
        // "*?" means the same as "*": the any-character state is dropped after a star.
        if (!star_pending_) {
          TMask::State s;
          s.kind = Kind::kAny;
          Add(s, i + 1);
        }
        ++i;
      } else if (c == '[') {
        i = CompileSet(text, i);
      } else if (const std::size_t len = CharLength(text, i); len > 1) {
        TMask::State s;
        s.kind = Kind::kMultiByte;
        s.mb_length = static_cast<std::uint8_t>(len);
        for (std::size_t k = 0; k < len; ++k) s.mb[k] = text.at(i + k);
        Add(s, i + 1);
        i += len;
      } else {
        TMask::State s;
        s.kind = Kind::kLiteral;
        s.literal = UpCase(c);
        Add(s, i + 1);
        ++i;
      }
    }
    TMask::State end;
    end.kind = Kind::kEnd;
    Add(end, mask_.size() + 1);
  }

 private:
  // Reads the set that opens at `open`; returns the index just past its closing bracket.
  std::size_t CompileSet(const PlainText& text, std::size_t open) {
    TMask::State s;
    s.kind = TMask::State::Kind::kSet;
    std::size_t i = open + 1;
    if (i < mask_.size() && text.at(i) == '!') {
      s.negate = true;
      ++i;
    }
    std::optional<unsigned char> range_start;
    for (;;) {
      if (i >= mask_.size()) ThrowInvalid(mask_, mask_.size() + 1);
      const unsigned char c = text.at(i);
      if (c == ']') break;
      if (c == '-') {
        if (!range_start) ThrowInvalid(mask_, i + 1);
        ++i;
        if (i >= mask_.size()) ThrowInvalid(mask_, mask_.size() + 1);
        // The upper end is taken whatever it is, a closing bracket included.
        const std::size_t len = CharLength(text, i);
        if (len == 1) {
          const unsigned hi = UpCase(text.at(i));
          for (unsigned k = *range_start; k <= hi; ++k) s.set.set(k);
        }
        i += len;
        continue;
      }
      const std::size_t len = CharLength(text, i);
      if (len == 1) {
        range_start = UpCase(c);
        s.set.set(*range_start);
      }
      i += len;
    }
    if (s.set.none()) ThrowInvalid(mask_, i + 1);
    Add(s, i + 1);
    return i + 1;
  }

  void Add(TMask::State s, std::size_t position) {
    s.skip = star_pending_;
    if (star_pending_ && ++star_runs_ > kMaxStarRuns) ThrowInvalid(mask_, position);
    star_pending_ = false;
    out_.push_back(s);
  }

  std::string_view mask_;
  std::vector<TMask::State>& out_;
  bool star_pending_ = false;
  int star_runs_ = 0;
};

// Every state but the end state consumes exactly one character, so when the rest of the mask
// fails only the most recent star needs to take one more character: earlier stars that took
// the leftmost fit can never be the cause. This decides the same as trying every retry point,
// in time linear in the name for each star.
template <typename Text>
bool TMask::MatchText(const Text& text) const {
  const std::vector<State>& states = states_;
  std::size_t si = 0, p = 0;
  bool have_star = false;
  std::size_t star_si = 0, star_p = 0;
  for (;;) {
    const TMask::State& st = states[si];
    if (st.skip) {
      have_star = true;
      star_si = si;
      star_p = p;
    }
    std::size_t length = 0;
    if (st.MatchAt(text, p, length)) {
      if (st.kind == TMask::State::Kind::kEnd) return true;
      p += length;
      ++si;
      continue;
    }
    if (!have_star || star_p >= text.size()) return false;
    si = star_si;
    p = star_p + CharLength(text, star_p);
  }
}

TMask::TMask(std::string_view mask) { Compiler(mask, states_).Run(); }
TMask::~TMask() = default;
TMask::TMask(const TMask&) = default;
TMask& TMask::operator=(const TMask&) = default;
TMask::TMask(TMask&&) noexcept = default;
TMask& TMask::operator=(TMask&&) noexcept = default;

bool TMask::Matches(std::string_view name) const { return MatchText(PlainText{name}); }

bool FileMatchesMask(std::string_view mask, std::string_view name) {
  const NameText prepared = PrepareName(name);
  const TMask compiled(PrepareMask(mask));
  return compiled.MatchesPrepared(prepared.bytes, prepared.extra_dot);
}

bool TMask::MatchesPrepared(std::string_view bytes, bool extra_dot) const {
  return MatchText(NameText{bytes, extra_dot});
}

bool MatchesAnyMask(std::string_view name, const std::vector<std::string>& masks) {
  for (const std::string& mask : masks) {
    if (FileMatchesMask(mask, name)) return true;
  }
  return false;
}

// One mask of a filter list, compiled the first time a name reaches it.
struct FileNameFilter::Impl {
  struct Slot {
    std::string prepared;
    bool matches_all = false;  // "*.*": every prepared name holds a dot
    bool tried = false;
    std::optional<TMask> mask;
    std::string error;  // the message of an invalid mask, raised again each time it is reached
  };

  bool advanced;
  std::vector<Slot> include;
  std::vector<Slot> exclude;

  static std::vector<Slot> MakeSlots(const std::vector<std::string>& masks) {
    std::vector<Slot> slots(masks.size());
    for (std::size_t k = 0; k < masks.size(); ++k) {
      slots[k].prepared = PrepareMask(masks[k]);
      slots[k].matches_all = slots[k].prepared == "*.*";
    }
    return slots;
  }

  static bool AnyMatches(std::vector<Slot>& slots, const NameText& name) {
    for (Slot& slot : slots) {
      if (slot.matches_all) return true;
      if (!slot.tried) {
        slot.tried = true;
        try {
          slot.mask.emplace(slot.prepared);
        } catch (const EMaskException& e) {
          slot.error = e.what();
        }
      }
      if (!slot.mask) throw EMaskException(slot.error);
      if (slot.mask->MatchesPrepared(name.bytes, name.extra_dot)) return true;
    }
    return false;
  }
};

FileNameFilter::FileNameFilter(bool advanced, const std::vector<std::string>& include,
                               const std::vector<std::string>& exclude)
    : impl_(new Impl{advanced, Impl::MakeSlots(include), Impl::MakeSlots(exclude)}) {}

FileNameFilter::~FileNameFilter() { delete impl_; }

bool FileNameFilter::Takes(std::string_view name) const {
  if (!impl_->advanced) return true;
  const NameText prepared = PrepareName(name);
  if (!Impl::AnyMatches(impl_->include, prepared)) return false;
  return !Impl::AnyMatches(impl_->exclude, prepared);
}

}  // namespace vantrel
