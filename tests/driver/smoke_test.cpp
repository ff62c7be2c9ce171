#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "tvrnsql.h"

static std::u16string run(std::u16string in, int32_t* result = nullptr, uint16_t* markers = nullptr) {
  std::vector<uint16_t> buf(in.begin(), in.end());
  buf.resize(in.size() * 2 + 64, 0);
  uint16_t mc = 0, rc = 0;
  int32_t r = ODBCSqlToTVRNSql(nullptr, buf.data(), &mc, nullptr, &rc, nullptr, nullptr, nullptr, 8, 0, 0, 0, nullptr);
  if (result) *result = r;
  if (markers) *markers = mc;
  std::u16string out;
  for (size_t i = 0; buf[i]; ++i) out.push_back(char16_t(buf[i]));
  return out;
}

TEST(Smoke, Basics) {
  int32_t r; uint16_t m;
  EXPECT_EQ(run(u"select ? from t where a = ? and b like 'x%' {escape '\\'}  ", &r, &m), u"select :1 from t where a = :2 and b like 'x%'  escape '\\'");
  EXPECT_EQ(r, 1); EXPECT_EQ(m, 2);
}
