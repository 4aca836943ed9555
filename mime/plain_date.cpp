#include "mime/plain_date.h"

#include <array>

namespace velmora::mime {
namespace {

class Cursor {
 public:
  explicit Cursor(std::string_view s) : s_(s) {}

  void SkipBlanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
  }
  void SkipWhitespace() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool Blank() {  // at least one blank, then any more
    if (i_ >= s_.size() || (s_[i_] != ' ' && s_[i_] != '\t')) return false;
    SkipBlanks();
    return true;
  }
  bool Char(char c) {
    if (i_ >= s_.size() || s_[i_] != c) return false;
    ++i_;
    return true;
  }
  // `min` to `max` decimal digits.
  std::optional<int> Digits(size_t min, size_t max) {
    int v = 0;
    size_t n = 0;
    while (n < max && i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') v = v * 10 + (s_[i_++] - '0'), ++n;
    if (n < min) return std::nullopt;
    if (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') return std::nullopt;  // more digits than allowed
    return v;
  }
  // One of `names` (three letters, capitalised as RFC 5322 writes them); its index.
  template <size_t N>
  std::optional<int> Name(const std::array<std::string_view, N>& names) {
    if (s_.size() - i_ < 3) return std::nullopt;
    for (size_t k = 0; k < N; ++k) {
      if (s_.substr(i_, 3) == names[k]) {
        i_ += 3;
        return static_cast<int>(k);
      }
    }
    return std::nullopt;
  }
  bool AtEnd() const { return i_ == s_.size(); }
  bool AtDigit() const { return i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9'; }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

constexpr std::array<std::string_view, 7> kDays = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDaysIn[m - 1];
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromEpoch(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

std::optional<PlainDate> ReadPlainDate(std::string_view text) {
  Cursor c(text);
  c.SkipBlanks();
  if (!c.AtDigit()) {
    if (!c.Name(kDays) || !c.Char(',')) return std::nullopt;
    c.SkipBlanks();
  }
  const auto day = c.Digits(1, 2);
  if (!day || !c.Blank()) return std::nullopt;
  const auto month = c.Name(kMonths);
  if (!month || !c.Blank()) return std::nullopt;
  const auto year = c.Digits(4, 4);
  if (!year || !c.Blank()) return std::nullopt;
  const auto hour = c.Digits(2, 2);
  if (!hour || !c.Char(':')) return std::nullopt;
  const auto minute = c.Digits(2, 2);
  if (!minute || !c.Char(':')) return std::nullopt;
  const auto second = c.Digits(2, 2);
  if (!second || !c.Blank()) return std::nullopt;
  const bool east = c.Char('+');
  if (!east && !c.Char('-')) return std::nullopt;
  const auto zone = c.Digits(4, 4);
  if (!zone) return std::nullopt;
  c.SkipWhitespace();
  if (!c.AtEnd()) return std::nullopt;
  const int m = *month + 1;
  const int zone_hours = *zone / 100, zone_minutes = *zone % 100;
  // Only fields that name one instant without doubt; GMime decides the rest (it reads no year before 1969).
  if (*year < 1969 || *day < 1 || *day > DaysInMonth(*year, m) || *hour > 23 || *minute > 59 ||
      *second > 59 || zone_hours > 23 || zone_minutes > 59)
    return std::nullopt;
  const int64_t offset = (east ? 1 : -1) * (zone_hours * 3600 + zone_minutes * 60);
  const int64_t local = DaysFromEpoch(*year, m, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
  return PlainDate{local - offset, *year, m, *day};
}

}  // namespace velmora::mime
