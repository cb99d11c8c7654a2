#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "exports/counted_string.h"
#include "records/name_list.h"

namespace movar::records {
namespace {

using exports::CountedString;
using fake::FakePlatform;

const std::string kDir = "C:\\host\\";
const std::string kList = "C:\\host\\NAM0314.dat";

// A host string: count, length, text, zero; `text()` points at the first text byte.
class HostString {
 public:
  HostString(std::int32_t count, const std::string& text, std::int32_t length)
      : words_(2 + (text.size() + 4) / 4, 0) {
    words_[0] = count;
    words_[1] = length;
    std::memcpy(words_.data() + 2, text.data(), text.size());
  }
  explicit HostString(const std::string& text, std::int32_t count = 1)
      : HostString(count, text, static_cast<std::int32_t>(text.size())) {}
  const char* text() const { return reinterpret_cast<const char*>(words_.data() + 2); }
  std::int32_t count() const { return words_[0]; }

 private:
  std::vector<std::int32_t> words_;
};

TEST(CountedString, CountRaisedForTheCallAndLengthFromTheHeader) {
  HostString counted("Ann");
  {
    const CountedString view(counted.text());
    EXPECT_EQ(counted.count(), 2);
    EXPECT_EQ(view.view(), "Ann");
  }
  EXPECT_EQ(counted.count(), 1);

  HostString constant("Bob", -1);
  {
    const CountedString view(constant.text());
    EXPECT_EQ(constant.count(), -1);
    EXPECT_EQ(view.view(), "Bob");
  }
  EXPECT_EQ(constant.count(), -1);

  HostString shorter(1, "Carolina", 3);  // the header says 3: the rest is not the string's
  EXPECT_EQ(CountedString(shorter.text()).view(), "Car");
  HostString negative(1, "Dan", -5);
  EXPECT_EQ(CountedString(negative.text()).view(), "");
  EXPECT_FALSE(CountedString(negative.text()).text());  // refused where a text must go whole
  EXPECT_EQ(CountedString(nullptr).text(), "");
  HostString zeroInside(1, std::string("A\0B", 3), 3);
  EXPECT_EQ(CountedString(zeroInside.text()).text(), std::string_view("A\0B", 3));
}

TEST(CopyName, AppendsToTheDaysList) {
  FakePlatform f;
  HostString first("Ann");
  HostString second("Bartholomew");
  EXPECT_EQ(copyName(f.platform, kDir.c_str(), 1, CountedString(first.text()).view()), 0);
  EXPECT_EQ(copyName(f.platform, kDir.c_str(), 0x12345, CountedString(second.text()).view()), 0);
  EXPECT_EQ(f.files.contents[kList],
            (Bytes{0x00, 0x01, 'A', 'n', 'n', 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  //
                   0x23, 0x45, 'B', 'a', 'r', 't', 'h', 'o', 'l', 'o'}));
  EXPECT_EQ(first.count(), 1);
  EXPECT_EQ(second.count(), 1);
  // The first call opens five times without a word before it creates the file.
  EXPECT_EQ(f.clock.sleeps, (std::vector<Millis>{300, 100, 100, 100, 100, 300}));
  EXPECT_TRUE(f.ui.messages.empty());
  EXPECT_EQ(f.files.openFiles, 0);

  EXPECT_EQ(copyName(f.platform, kDir.c_str(), 2, CountedString(nullptr).view()), 0);
  EXPECT_EQ(Bytes(f.files.contents[kList].begin() + 20, f.files.contents[kList].end()),
            (Bytes{0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(CopyName, BusyListIsNeverTruncated) {
  FakePlatform f;
  f.files.contents[kList] = Bytes(10, 0x11);
  f.files.refusals[kList] = 7;  // busy through the five opens and two creation attempts
  HostString name("Eve");
  EXPECT_EQ(copyName(f.platform, kDir.c_str(), 3, CountedString(name.text()).view()), 0);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>(2, "can not creat file!"));
  ASSERT_EQ(f.files.contents[kList].size(), 20u);
  EXPECT_EQ(f.files.contents[kList][0], 0x11);
  EXPECT_EQ(f.files.contents[kList][11], 0x03);

  FakePlatform locked;
  locked.files.locked.insert(kList);
  EXPECT_EQ(copyName(locked.platform, kDir.c_str(), 3, CountedString(name.text()).view()), 1);
  EXPECT_EQ(locked.ui.messages, std::vector<std::string>(15, "can not creat file!"));
  EXPECT_EQ(locked.clock.now(), 300 + 4 * 100 + 14 * 100);
  EXPECT_EQ(name.count(), 1);
}

TEST(CopyName, BadDirectoryIsRefused) {
  HostString name("Eve");
  for (const char* dir : {static_cast<const char*>(nullptr), "C:\\host", "C:\\nowhere\\", ""}) {
    FakePlatform f;
    EXPECT_EQ(copyName(f.platform, dir, 3, CountedString(name.text()).view()), 1);
    EXPECT_TRUE(f.files.contents.empty());
    EXPECT_TRUE(f.clock.sleeps.empty());
  }
  EXPECT_EQ(name.count(), 1);
}

}  // namespace
}  // namespace movar::records
