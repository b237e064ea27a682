#include "client/server/uServer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string Head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

std::string Envelope(const std::string &Inner) { return Head + "<OsTransmission>" + Inner + "</OsTransmission>"; }

std::string Script(const std::string &Items) { return "<OsConfigScript>" + Items + "</OsConfigScript>"; }

std::string Features(const std::string &Items) { return "<KvFeatures>" + Items + "</KvFeatures>"; }

using TList = std::vector<std::string>;

struct TReplyRow {
  const char *Name;
  std::string Reply;
  TLogonOutcome Outcome;
  int MaxResults;
  TList Features;
  std::string Snippet;
};

void PrintTo(const TReplyRow &Row, std::ostream *Out) { *Out << Row.Name; }

class LogonReplyTest : public ::testing::TestWithParam<TReplyRow> {};

TEST_P(LogonReplyTest, Parses) {
  const TReplyRow &row = GetParam();
  const TLogonReply r = ParseLogonReply(row.Reply);
  EXPECT_EQ(r.Outcome, row.Outcome);
  EXPECT_EQ(r.ServerMaxResults, row.MaxResults);
  EXPECT_EQ(r.Features, row.Features);
  EXPECT_EQ(r.Snippet, row.Snippet);
}

const std::string LongBody(200, 'x');

INSTANTIATE_TEST_SUITE_P(
    Replies, LogonReplyTest,
    ::testing::Values(
        TReplyRow{"LimitAndThreeFeatures",
                  Envelope(Script("MaxResults|250") + "<OsMessages>hello</OsMessages>" + Features("SHOPA|SHOPB|SHOPC")),
                  loAccepted, 250, {"SHOPA", "SHOPB", "SHOPC"}, ""},
        TReplyRow{"LowerCaseTags",
                  Head + "<ostransmission><osconfigscript>MaxResults|75</osconfigscript><kvfeatures>A|B</kvfeatures>"
                         "</ostransmission>",
                  loAccepted, 75, {"A", "B"}, ""},
        TReplyRow{"NameIgnoresCaseAndScriptIsTrimmed", Envelope(Script("  \r\nTheme|blue|maxresults|30\r\n ")),
                  loAccepted, 30, {}, ""},
        TReplyRow{"ValueNotANumber", Envelope(Script("MaxResults|many") + Features("A")), loAccepted, 400, {"A"}, ""},
        TReplyRow{"EmptyScript", Envelope(Script("") + Features("A")), loAccepted, 400, {"A"}, ""},
        TReplyRow{"NoScriptElement", Envelope(Features("A")), loAccepted, 400, {"A"}, ""},
        TReplyRow{"WithoutTheNameTheFirstItemCounts", Envelope(Script("100|Other")), loAccepted, 100, {}, ""},
        TReplyRow{"NameAsTheLastItemKeepsTheDefault", Envelope(Script("Other|5|MaxResults") + Features("A")),
                  loAccepted, 400, {"A"}, ""},
        TReplyRow{"FeaturesBeforeTheScriptAreLost", Envelope(Features("A|B") + Script("MaxResults|10")), loAccepted,
                  10, {}, ""},
        TReplyRow{"EmptyFeatureElement", Envelope(Script("MaxResults|10") + Features("")), loAccepted, 10, {}, ""},
        TReplyRow{"EmptyItemsKeptTrailingBarDropped", Envelope(Features("A||B|")), loAccepted, 400, {"A", "", "B"}, ""},
        TReplyRow{"RefusedCustomerWinsOverEnvelope",
                  Head + "Invalid Customer ID" + Envelope(Script("MaxResults|10") + Features("A")),
                  loInvalidCustomerID, 400, {}, ""},
        TReplyRow{"RefusedCustomerBeforePassword", Head + "Invalid Password / Invalid Customer ID",
                  loInvalidCustomerID, 400, {}, ""},
        TReplyRow{"RefusedPassword", Head + "Invalid Password", loInvalidPassword, 400, {}, ""},
        TReplyRow{"RefusalTextIsCaseSensitive", Head + "invalid password", loSystemError, 400, {},
                  "invalid password"},
        TReplyRow{"NoEnvelopeSnippetIs128BytesOfTheBody", Head + LongBody, loSystemError, 400, {},
                  std::string(128, 'x')},
        TReplyRow{"NoEmptyLineSnippetFromTheStart", "Server Error", loSystemError, 400, {}, "Server Error"},
        TReplyRow{"EmptyEnvelopeIsAFailure", Envelope(""), loSystemError, 400, {},
                  "<OsTransmission></OsTransmission>"},
        TReplyRow{"UnclosedEnvelopeIsAFailure", Head + "<OsTransmission>" + Script("MaxResults|1"), loSystemError,
                  400, {}, "<OsTransmission><OsConfigScript>MaxResults|1</OsConfigScript>"},
        TReplyRow{"EmptyReply", "", loSystemError, 400, {}, ""}),
    [](const ::testing::TestParamInfo<TReplyRow> &I) { return std::string(I.param.Name); });

}  // namespace
