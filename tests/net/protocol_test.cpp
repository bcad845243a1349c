// The update server protocol: URLs joined exactly, replies split exactly.
#include "net/protocol.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(Protocol, JoinsEveryRequestWithoutSeparatorsOrEscaping) {
  EXPECT_EQ(ReleaseCheckUrl("http://host", "/upd.php", "Demo App"),
            "http://host/upd.php?request=1&appli_name=Demo App");
  EXPECT_EQ(ReleaseCheckUrl("http://host", "", "Demo"), "http://host?request=1&appli_name=Demo");
  EXPECT_EQ(ReleaseDescriptionUrl("http://host", "/upd.php", "Demo", "1.0"),
            "http://host/upd.php?request=2&appli_name=Demo&appli_version=1.0");
  EXPECT_EQ(ActionListUrl("http://host/", "u", "D&x=1", "1.0"),
            "http://host/u?request=3&appli_name=D&x=1&appli_version=1.0");
  // The completion report names the release just installed, not the one before.
  EXPECT_EQ(CompletionReportUrl("http://host", "/upd.php", "Demo", "2.1", "a@b.c"),
            "http://host/upd.php?request=5&appli_name=Demo&appli_version=2.1&email=a@b.c");
  EXPECT_EQ(ReleaseFileUrl("http://dl", "/files/Demo", "a.zip"), "http://dl/files/Demo/a.zip");
}

TEST(Protocol, SplitsTheReleaseReplyAtTheFirstSeparatorOnly) {
  struct Case {
    const char* body;
    const char* version;
    const char* date;
  } cases[] = {
      {"1.5;2008-05-12", "1.5", "2008-05-12"},
      {"1.5;", "1.5", ""},
      {";2008-05-12", "", "2008-05-12"},
      {"1.5", "", "1.5"},
      {"1.5;a;b", "1.5", "a;b"},
      {"", "", ""},
      {" 2.1 ;12/05/2008\r\n", " 2.1 ", "12/05/2008\r\n"},
  };
  for (const Case& c : cases) {
    const ReleaseReply reply = ReadReleaseReply(c.body);
    EXPECT_EQ(reply.version, c.version) << c.body;
    EXPECT_EQ(reply.date, c.date) << c.body;
  }
}

}  // namespace
}  // namespace kestrova
