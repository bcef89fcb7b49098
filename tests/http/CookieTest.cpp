#include "http/IdCookie.h"
#include "http/IdCookieManager.h"

#include "http/IdException.h"

#include <gtest/gtest.h>

namespace quenloft {
namespace {

using std::chrono::seconds;

// 2024-05-01 12:00:00 UTC.
const TIdClockTime kStart{seconds(1714564800)};

TIdClockTime At(std::int64_t ASecondsSinceEpoch)
{
  return TIdClockTime{seconds(ASecondsSinceEpoch)};
}

// --- HTTP dates ------------------------------------------------------------------

TEST(HTTPDate, ReadsAllFourFormsAsTheSameInstant)
{
  const TIdClockTime expected = At(784111777); // 1994-11-06 08:49:37 UTC
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994", "Sun, 06-Nov-1994 08:49:37 GMT"}) {
    const auto parsed = ParseHTTPDate(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(*parsed, expected) << text;
  }
}

TEST(HTTPDate, FormatsIMFFixdateAndReadsItBack)
{
  EXPECT_EQ(FormatHTTPDate(At(784111777)), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(FormatHTTPDate(At(0)), "Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(FormatHTTPDate(At(951782400)), "Tue, 29 Feb 2000 00:00:00 GMT");
  EXPECT_EQ(FormatHTTPDate(At(-1)), "Wed, 31 Dec 1969 23:59:59 GMT");
  // Sub-second parts are cut, never rounded up.
  EXPECT_EQ(FormatHTTPDate(kStart + std::chrono::milliseconds(999)), "Wed, 01 May 2024 12:00:00 GMT");
  EXPECT_EQ(FormatHTTPDate(TIdClockTime::max()), "Fri, 11 Apr 2262 23:47:16 GMT");

  for (std::int64_t s = -2208988800; s < 4102444800; s += 86400 * 37 + 3671) {
    const auto back = ParseHTTPDate(FormatHTTPDate(At(s)));
    ASSERT_TRUE(back.has_value()) << s;
    EXPECT_EQ(*back, At(s));
  }
}

TEST(HTTPDate, FarDatesAreHeldAtTheEndsOfTheClock)
{
  // Servers write "9999" for "never"; it must neither overflow nor expire.
  const auto never = ParseHTTPDate("Fri, 31 Dec 9999 23:59:59 GMT");
  ASSERT_TRUE(never.has_value());
  EXPECT_EQ(FormatHTTPDate(*never), "Fri, 11 Apr 2262 23:47:16 GMT");
  const auto early = ParseHTTPDate("Mon, 01 Jan 1601 00:00:00 GMT");
  ASSERT_TRUE(early.has_value());
  EXPECT_EQ(FormatHTTPDate(*early), "Tue, 21 Sep 1677 00:12:44 GMT");
}

TEST(HTTPDate, TwoDigitYearsPivotAtSeventy)
{
  EXPECT_EQ(ParseHTTPDate("Thursday, 01-Jan-70 00:00:00 GMT"), At(0));
  EXPECT_EQ(FormatHTTPDate(*ParseHTTPDate("Sun, 01-Jan-69 00:00:00 GMT")), "Tue, 01 Jan 2069 00:00:00 GMT");
}

TEST(HTTPDate, UnreadableTextsGiveNothing)
{
  for (const char* text :
       {"", "garbage", "Sun, 06 Nov 1994 GMT", "06 Nov 1994 25:00:00", "06 Nov 1994 10:60:00",
        "30 Feb 2021 10:00:00", "29 Feb 2023 10:00:00", "32 Jan 2020 10:00:00", "00 Jan 2020 10:00:00",
        "06 Nov 1500 10:00:00", "06 Xyz 1994 10:00:00", "06 Nov 19945 10:00:00"})
    EXPECT_FALSE(ParseHTTPDate(text).has_value()) << text;
  EXPECT_TRUE(ParseHTTPDate("29 Feb 2024 10:00:00").has_value());
}

// --- One cookie ---------------------------------------------------------------

class CookieParse : public ::testing::Test {
protected:
  TIdClock Clock = [] { return kStart; };
};

TEST_F(CookieParse, NameValueAndAttributes)
{
  TIdCookieRFC2109 c(Clock);
  c.SetCookieText("SID=31d4=d96e ;  Path=\"/dir/\"; Domain=.example.com; SeCuRe; Version=1; "
                  "Comment=hello;");
  EXPECT_EQ(c.CookieText(),
            "SID=31d4=d96e ;  Path=\"/dir/\"; Domain=.example.com; SeCuRe; Version=1; Comment=hello;");
  EXPECT_EQ(c.CookieName, "SID");
  EXPECT_EQ(c.Value, "31d4=d96e");
  EXPECT_EQ(c.Path, "/dir/");
  EXPECT_EQ(c.Domain, ".example.com");
  EXPECT_TRUE(c.Secure);
  EXPECT_EQ(c.Version, "1");
  EXPECT_EQ(c.Comment, "hello");
  EXPECT_EQ(c.MaxAge, -1);
  EXPECT_EQ(c.Expires, "");
  EXPECT_FALSE(c.ExpiresAt.has_value());
  EXPECT_EQ(c.Format, cfNetscape); // no expiry
  EXPECT_EQ(c.ClientCookie(), "SID=31d4=d96e");
}

TEST_F(CookieParse, MalformedValuesAreStoredAsParsed)
{
  TIdCookieRFC2109 c(Clock);
  c.SetCookieText("justavalue");
  EXPECT_EQ(c.CookieName, "");
  EXPECT_EQ(c.Value, "justavalue");

  c.SetCookieText("a=");
  EXPECT_EQ(c.CookieName, "a");
  EXPECT_EQ(c.Value, "");

  c.SetCookieText("");
  EXPECT_EQ(c.CookieName, "");
  EXPECT_EQ(c.Value, "");

  // "secure=yes" is not the bare flag.
  c.SetCookieText("a=1; secure=yes; path");
  EXPECT_FALSE(c.Secure);
  EXPECT_EQ(c.Path, "");
}

TEST_F(CookieParse, ExpiresKeepsTheFormatAndSetsTheExpiry)
{
  TIdCookieRFC2109 c(Clock);
  c.SetCookieText("a=1; expires=Wed, 09 Jun 2021 10:18:14 GMT");
  EXPECT_EQ(c.Expires, "Wed, 09 Jun 2021 10:18:14 GMT");
  EXPECT_EQ(c.ExpiresAt, ParseHTTPDate("Wed, 09 Jun 2021 10:18:14 GMT"));
  EXPECT_EQ(c.Format, cfRFC2109);
  EXPECT_EQ(c.MaxAge, -1);
  EXPECT_TRUE(c.IsExpired(kStart));

  TIdCookieRFC2965 c2(Clock);
  c2.SetCookieText("a=1; expires=Wed, 09 Jun 2021 10:18:14 GMT");
  EXPECT_EQ(c2.Format, cfRFC2965);
}

TEST_F(CookieParse, MaxAgeGivesExpiryFromNow)
{
  TIdCookieRFC2109 c(Clock);
  c.SetCookieText("a=1; Max-Age=3600");
  EXPECT_EQ(c.MaxAge, 3600);
  EXPECT_EQ(c.Format, cfNetscape);
  EXPECT_EQ(c.Expires, "Wed, 01 May 2024 13:00:00 GMT");
  EXPECT_EQ(c.ExpiresAt, kStart + seconds(3600));
  EXPECT_FALSE(c.IsExpired(kStart + seconds(3599)));
  EXPECT_TRUE(c.IsExpired(kStart + seconds(3600)));

  c.SetCookieText("a=1; max-age=soon");
  EXPECT_EQ(c.MaxAge, -1);
  EXPECT_EQ(c.Expires, "");
  EXPECT_FALSE(c.IsExpired(kStart + seconds(100000000)));

  // Huge values stay within representable dates.
  c.SetCookieText("a=1; max-age=9223372036854775807");
  EXPECT_EQ(c.Expires, "Fri, 11 Apr 2262 23:47:16 GMT");
  EXPECT_FALSE(c.IsExpired(kStart));
  c.SetCookieText("a=1; max-age=-9223372036854775807");
  EXPECT_TRUE(c.IsExpired(kStart));
  c.SetCookieText("a=1; max-age=99999999999999999999");
  EXPECT_EQ(c.MaxAge, -1);
  EXPECT_EQ(c.Expires, "");
}

TEST_F(CookieParse, ExpiresWinsOverMaxAge)
{
  TIdCookieRFC2109 c(Clock);
  c.SetCookieText("a=1; max-age=60; expires=Thu, 01 May 2025 00:00:00 GMT");
  EXPECT_EQ(c.MaxAge, 60);
  EXPECT_EQ(c.Expires, "Thu, 01 May 2025 00:00:00 GMT");
  EXPECT_FALSE(c.IsExpired(kStart + seconds(61)));
}

TEST_F(CookieParse, UnreadableExpiresNeverRaisesAndNeverExpires)
{
  TIdCookieRFC2109 c(Clock);
  EXPECT_NO_THROW(c.SetCookieText("a=1; expires=some day soon"));
  EXPECT_EQ(c.Expires, "some day soon");
  EXPECT_FALSE(c.ExpiresAt.has_value());
  EXPECT_FALSE(c.IsExpired(kStart + seconds(1000000)));
}

TEST_F(CookieParse, SameTextAgainChangesNothing)
{
  TIdCookieRFC2109 c(Clock);
  c.SetCookieText("a=1; path=/x/");
  c.Path = "/changed/";
  c.SetCookieText("a=1; path=/x/");
  EXPECT_EQ(c.Path, "/changed/");
  c.SetCookieText("a=1; path=/y/");
  EXPECT_EQ(c.Path, "/y/");
}

TEST_F(CookieParse, ParsingAgainResetsAbsentAttributes)
{
  TIdCookieRFC2965 c(Clock);
  c.SetCookieText("a=1; path=/p/; domain=.d.com; secure; max-age=5; version=1; comment=x; "
                  "commenturl=http://d.com/; discard; port=\"81\"");
  EXPECT_TRUE(c.Discard);
  c.SetCookieText("a=2");
  EXPECT_EQ(c.Path, "");
  EXPECT_EQ(c.Domain, "");
  EXPECT_FALSE(c.Secure);
  EXPECT_EQ(c.MaxAge, -1);
  EXPECT_EQ(c.Expires, "");
  EXPECT_EQ(c.Version, "");
  EXPECT_EQ(c.Comment, "");
  EXPECT_EQ(c.CommentURL, "");
  EXPECT_FALSE(c.Discard);
  ASSERT_EQ(c.PortCount(), 1u);
  EXPECT_EQ(c.GetPort(0), 80);
}

TEST_F(CookieParse, RFC2965AttributesAndPortList)
{
  TIdCookieRFC2965 c(Clock);
  c.SetCookieText("a=1; Version=1; Port=\"80, 8080,x\"; CommentURL=http://d/why; Discard");
  EXPECT_EQ(c.CommentURL, "http://d/why");
  EXPECT_TRUE(c.Discard);
  ASSERT_EQ(c.PortCount(), 2u);
  EXPECT_EQ(c.GetPort(0), 80);
  EXPECT_EQ(c.GetPort(1), 8080);

  c.SetPort(1, 81);
  c.SetPort(2, 82); // one past the end appends
  EXPECT_EQ(c.GetPort(1), 81);
  EXPECT_EQ(c.GetPort(2), 82);
  try {
    c.SetPort(4, 1);
    FAIL() << "set a port two past the end";
  } catch (const EIdException& e) {
    EXPECT_STREQ(e.what(), "Index out of range.");
  }
  EXPECT_THROW(c.GetPort(3), EIdException);
  EXPECT_EQ(c.PortCount(), 3u);
}

TEST_F(CookieParse, RebuiltText)
{
  TIdCookieRFC2109 c(Clock);
  c.SetCookieText("a=1; Path=/p; Domain=.d.com; Secure; Version=1; Comment=c");
  EXPECT_EQ(c.ServerCookie(), "a=1; path=/p; domain=.d.com; secure; version=1; comment=c");

  c.SetCookieText("a=1; max-age=60");
  EXPECT_EQ(c.ServerCookie(), "a=1; expires=Wed, 01 May 2024 12:01:00 GMT");

  // The expiry of an RFC 2109 cookie goes into the text too, so a cookie
  // re-read from it expires when the original would.
  c.SetCookieText("a=1; expires=Thu, 01 Jan 1970 00:00:00 GMT; path=/");
  EXPECT_EQ(c.ServerCookie(), "a=1; path=/; expires=Thu, 01 Jan 1970 00:00:00 GMT");

  TIdNetscapeCookie plain(Clock);
  plain.SetCookieText("b=2; max-age=60; version=1");
  EXPECT_EQ(plain.ServerCookie(), "b=2");
}

// --- The manager ------------------------------------------------------------------

class CookieJar : public ::testing::Test {
protected:
  TIdClockTime Now = kStart;
  TIdCookieManager Jar{[this] { return Now; }};

  void Set(const std::string& AHeader, const std::string& AUrl) { Jar.AddCookie(AHeader, TIdURI(AUrl)); }
  std::string Send(const std::string& AUrl, bool ASecure = false)
  {
    return Jar.GenerateCookieList(TIdURI(AUrl), ASecure);
  }
};

TEST_F(CookieJar, NoDomainStoresUnderFullHostAndMatchesDomainSuffixesOnly)
{
  Set("a=1", "http://www.example.com/");
  const TIdCookieRFC2109* stored = Jar.FindCookie("WWW.example.com", "A");
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->Domain, "www.example.com");

  EXPECT_EQ(Send("http://www.example.com/"), "a=1");
  EXPECT_EQ(Send("http://WWW.Example.COM/"), "a=1");
  EXPECT_EQ(Send("http://sub.www.example.com/"), "a=1");
  // RFC 6265 5.1.3: containing the domain text is not enough.
  EXPECT_EQ(Send("http://www.example.com.evil.net/"), "");
  EXPECT_EQ(Send("http://evilwww.example.com/"), "");
  EXPECT_EQ(Send("http://example.com/"), "");
}

TEST_F(CookieJar, DomainAttributeAcceptanceOnAdd)
{
  Set("a=1; domain=.example.com", "http://www.example.com/");
  EXPECT_NE(Jar.FindCookie(".example.com", "a"), nullptr);
  EXPECT_EQ(Send("http://img.example.com/"), "a=1");
  EXPECT_EQ(Send("http://example.com/"), "a=1");

  // Two levels down may not set a cookie for the parent's parent.
  Set("b=2; domain=.example.com", "http://a.b.example.com/");
  // A bare domain name other than the host itself is refused.
  Set("c=3; domain=example.com", "http://www.example.com/");
  // Host names are compared exactly, letter case included.
  Set("d=4; domain=WWW.example.com", "http://www.example.com/");
  Set("e=5; domain=.other.com", "http://www.example.com/");
  EXPECT_EQ(Jar.CookieCount(), 1u);
  EXPECT_EQ(Jar.FindCookie(".example.com", "b"), nullptr);

  Set("f=6; domain=www.example.com", "http://www.example.com/");
  EXPECT_EQ(Jar.CookieCount(), 2u);
}

TEST_F(CookieJar, AddressHostsMatchExactlyOnly)
{
  Set("a=1", "http://127.0.0.1/");
  Set("b=2; domain=.0.0.1", "http://127.0.0.1/");
  EXPECT_EQ(Jar.CookieCount(), 1u);
  EXPECT_EQ(Send("http://127.0.0.1/"), "a=1");

  // A name-based domain never reaches an address that ends like it.
  Set("c=3; domain=.0.0.1", "http://x.0.0.1/");
  EXPECT_EQ(Jar.CookieCount(), 2u);
  EXPECT_EQ(Send("http://y.0.0.1/"), "c=3");
  EXPECT_EQ(Send("http://10.0.0.1/"), "");
}

TEST_F(CookieJar, PathlessCookieBelongsToTheSettingPagesDirectory)
{
  Set("a=1", "http://h/dir/page.html");
  ASSERT_NE(Jar.FindCookie("h", "a"), nullptr);
  EXPECT_EQ(Jar.FindCookie("h", "a")->Path, "/dir/");
  EXPECT_EQ(Send("http://h/dir/x.swf"), "a=1");
  EXPECT_EQ(Send("http://h/dir/sub/y.swf"), "a=1");
  EXPECT_EQ(Send("http://h/other/x.swf"), "");
  EXPECT_EQ(Send("http://h/"), "");

  // A path that is not absolute is treated as missing.
  Set("b=2; path=relative", "http://h/dir/page.html");
  EXPECT_EQ(Jar.FindCookie("h", "b")->Path, "/dir/");
  // From the root page the default path is "/".
  Set("c=3", "http://h");
  EXPECT_EQ(Jar.FindCookie("h", "c")->Path, "/");
}

TEST_F(CookieJar, PathIsAPrefixOfTheRequestDirectory)
{
  Set("a=1; path=/dir/", "http://h/");
  EXPECT_EQ(Send("http://h/dir/"), "a=1");
  EXPECT_EQ(Send("http://h/dir/x.swf?y=/"), "a=1");
  EXPECT_EQ(Send("http://h/Dir/x.swf"), "");
  EXPECT_EQ(Send("http://h/dir"), ""); // "dir" is the document here
}

TEST_F(CookieJar, MoreSpecificPathsComeFirst)
{
  Set("a=1; path=/", "http://h/");
  Set("b=2; path=/dir/", "http://h/");
  Set("c=3; path=/dir/sub/", "http://h/");
  EXPECT_EQ(Send("http://h/dir/x.swf"), "b=2; a=1");
  EXPECT_EQ(Send("http://h/dir/sub/x.swf"), "c=3; b=2; a=1");
  EXPECT_EQ(Send("http://h/x.swf"), "a=1");
}

TEST_F(CookieJar, MatchingDomainsAreAllSent)
{
  Set("site=1; domain=.example.com; path=/", "http://www.example.com/");
  Set("host=2; path=/movies/", "http://www.example.com/");
  EXPECT_EQ(Send("http://www.example.com/movies/a.swf"), "host=2; site=1");
  EXPECT_EQ(Send("http://cdn.example.com/movies/a.swf"), "site=1");
}

TEST_F(CookieJar, SameNameAndDomainReplacesWhateverThePath)
{
  Set("id=old; path=/a/", "http://h/");
  Set("ID=new; path=/b/", "http://h/");
  EXPECT_EQ(Jar.CookieCount(), 1u);
  EXPECT_EQ(Send("http://h/a/"), "");
  EXPECT_EQ(Send("http://h/b/"), "ID=new");

  // Another domain is another cookie.
  Set("id=other; domain=.h.net; path=/", "http://www.h.net/");
  EXPECT_EQ(Jar.CookieCount(), 2u);
}

TEST_F(CookieJar, ReplacementTakesOverEveryField)
{
  Set("id=1; path=/; secure", "http://h/");
  Set("id=2; path=/; max-age=60", "http://h/");
  const TIdCookieRFC2109* c = Jar.FindCookie("h", "id");
  ASSERT_NE(c, nullptr);
  EXPECT_FALSE(c->Secure);
  EXPECT_EQ(c->Value, "2");
  EXPECT_EQ(c->ExpiresAt, kStart + seconds(60));
  EXPECT_EQ(Send("http://h/"), "id=2");
  Now += seconds(61);
  EXPECT_EQ(Send("http://h/"), "");
}

TEST_F(CookieJar, MaxAgeZeroIsGoneBeforeTheNextRequest)
{
  Set("a=1; path=/; max-age=0", "http://h/");
  EXPECT_EQ(Jar.CookieCount(), 1u);
  EXPECT_EQ(Send("http://h/"), "");
  EXPECT_EQ(Jar.CookieCount(), 0u);
}

TEST_F(CookieJar, PositiveMaxAgeLastsThatLong)
{
  Set("a=1; path=/; max-age=60", "http://h/");
  Now += seconds(59);
  EXPECT_EQ(Send("http://h/"), "a=1");
  Now += seconds(1);
  EXPECT_EQ(Send("http://h/"), "");
  EXPECT_EQ(Jar.CookieCount(), 0u);
}

TEST_F(CookieJar, ServerDeletesACookie)
{
  // By a past expiry on the replacement: the value must not live on.
  Set("a=1; path=/", "http://h/");
  Set("a=deleted; path=/; expires=Thu, 01 Jan 1970 00:00:00 GMT", "http://h/");
  EXPECT_EQ(Send("http://h/"), "");
  EXPECT_EQ(Jar.CookieCount(), 0u);

  // By a negative max-age (RFC 6265 5.2.2), -1 included.
  Set("b=1; path=/", "http://h/");
  Set("b=x; path=/; max-age=-1", "http://h/");
  EXPECT_EQ(Send("http://h/"), "");
  EXPECT_EQ(Jar.CookieCount(), 0u);
}

TEST_F(CookieJar, ExpiredCookiesOfEveryDomainAreRemoved)
{
  Set("a=1; path=/; expires=Wed, 01 May 2024 12:00:10 GMT", "http://one.net/");
  Set("b=1; path=/; expires=Wed, 01 May 2024 13:00:00 GMT", "http://two.net/");
  Set("c=1; path=/; expires=never", "http://two.net/");
  EXPECT_EQ(Send("http://one.net/"), "a=1");
  Now += seconds(11);
  EXPECT_EQ(Send("http://two.net/"), "b=1; c=1");
  EXPECT_EQ(Jar.CookieCount(), 2u);
  EXPECT_EQ(Jar.FindCookie("one.net", "a"), nullptr);
}

TEST_F(CookieJar, EmptyValueIsStoredButNeverSent)
{
  Set("a=; path=/", "http://h/");
  Set("b=2; path=/", "http://h/");
  EXPECT_EQ(Jar.CookieCount(), 2u);
  EXPECT_EQ(Send("http://h/"), "b=2");
}

TEST_F(CookieJar, AControlByteVoidsTheWholeCookie)
{
  using namespace std::string_literals;
  for (const std::string& text : {"a=1\r\nX-Injected: yes"s, "a=1\0b"s, "a=\x7F"s, "a=1; path=/\n"s})
    Set(text, "http://h/");
  Set("t=1\t2; path=/", "http://h/");
  EXPECT_EQ(Jar.CookieCount(), 1u);
  EXPECT_EQ(Send("http://h/"), "t=1\t2");
}

TEST_F(CookieJar, SecureCookiesGoOnlyOverSecureConnections)
{
  Set("s=1; path=/; secure", "https://h/");
  Set("p=2; path=/", "https://h/");
  EXPECT_EQ(Send("http://h/"), "p=2");
  const std::string both = Send("https://h/", true);
  EXPECT_NE(both.find("s=1"), std::string::npos);
  EXPECT_NE(both.find("p=2"), std::string::npos);
}

TEST_F(CookieJar, NewCookieEventMayVeto)
{
  std::vector<std::string> seen;
  Jar.OnNewCookie = [&](TIdCookieRFC2109& ACookie) {
    seen.push_back(ACookie.CookieName + "@" + ACookie.Domain + ACookie.Path);
    return ACookie.CookieName != "tracker";
  };
  Set("tracker=1", "http://h/dir/p.html");
  Set("keep=1", "http://h/dir/p.html");
  // A cookie refused by the domain check never reaches the event.
  Set("bad=1; domain=.elsewhere.net", "http://h/dir/p.html");
  EXPECT_EQ(seen, (std::vector<std::string>{"tracker@h/dir/", "keep@h/dir/"}));
  EXPECT_EQ(Jar.CookieCount(), 1u);
  EXPECT_EQ(Send("http://h/dir/"), "keep=1");
}

TEST_F(CookieJar, SetCookie2MakesRFC2965Cookies)
{
  Jar.AddCookie2("a=1; Version=1; Path=/; Port=\"80\"", TIdURI("http://h/"));
  const TIdCookieRFC2109* c = Jar.FindCookie("h", "a");
  ASSERT_NE(c, nullptr);
  EXPECT_NE(dynamic_cast<const TIdCookieRFC2965*>(c), nullptr);
  EXPECT_EQ(Send("http://h/"), "a=1");

  // A "Set-Cookie" of the same name replaces it in place.
  Set("a=2; path=/", "http://h/");
  EXPECT_EQ(Jar.CookieCount(), 1u);
  EXPECT_EQ(Send("http://h/"), "a=2");
}

TEST_F(CookieJar, ADomainKeepsItsFiftyNewestCookies)
{
  // A server cannot grow the jar without bound; replacing a stored name
  // takes no extra room.
  for (int i = 0; i < 60; ++i)
    Set("c" + std::to_string(i) + "=1; path=/", "http://h/");
  Set("c59=2; path=/", "http://h/");
  Set("other=1; path=/", "http://elsewhere/");
  EXPECT_EQ(Jar.CookieCount(), 51u);
  EXPECT_EQ(Jar.FindCookie("h", "c9"), nullptr);
  ASSERT_NE(Jar.FindCookie("h", "c10"), nullptr);
  ASSERT_NE(Jar.FindCookie("h", "c59"), nullptr);
  EXPECT_EQ(Jar.FindCookie("h", "c59")->Value, "2");
}

TEST_F(CookieJar, NothingStoredSendsNothing)
{
  EXPECT_EQ(Send("http://h/"), "");
  Set("a=1", "relative/page.html"); // no host: nowhere to keep it
  EXPECT_EQ(Jar.CookieCount(), 0u);
}

} // namespace
} // namespace quenloft
