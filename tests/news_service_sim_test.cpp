// The news-service simulator on its own, where the end-to-end suite does not
// reach: replay, paging by seconds, the exclusions the fault run relies on
// (folded edits, articles edited before loaded), stalls released, /_sim/advance.
// Signatures, fault rates and their tally are checked end to end.

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "host/lx_qt_support.h"
#include "tools/news_service_sim/sim_server.h"
#include "tools/news_service_sim/sim_state.h"

namespace {

using news_sim::SimState;

const long long kStart = 1718064000;  // fixed, so the worlds below replay exactly

QByteArray Json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }
QByteArray Json(const QJsonArray& array) { return QJsonDocument(array).toJson(QJsonDocument::Compact); }
long long OperationTime(const QJsonValue& element) {
    return static_cast<long long>(element.toObject().value("operation_time").toDouble());
}
unsigned long long SortScore(const QJsonValue& element) {
    return static_cast<unsigned long long>(element.toObject().value("info").toObject().value("sort_score").toDouble());
}

TEST(SimStateTest, SameSeedAndStartReplayTheSameWorld_Sim) {
    SimState a(9, kStart), b(9, kStart), other(10, kStart);
    a.Advance(30);
    b.Advance(30);
    other.Advance(30);
    EXPECT_EQ(Json(a.GroundTruth(news_sim::TruthQuery())), Json(b.GroundTruth(news_sim::TruthQuery())));
    EXPECT_EQ(Json(a.InformModifyPage(0)), Json(b.InformModifyPage(0)));
    EXPECT_EQ(Json(a.RollPage(0, 0, 15)), Json(b.RollPage(0, 0, 15)));
    EXPECT_NE(Json(a.GroundTruth(news_sim::TruthQuery())), Json(other.GroundTruth(news_sim::TruthQuery())));
}

TEST(SimStateTest, FirstLoadCarriesTheNewestOperationTimeSoNothingIsReplayed_Sim) {
    SimState state(3, kStart);
    const QJsonArray first = state.RollPage(0, 0, 15).value("list").toArray();
    ASSERT_EQ(first.size(), 15);
    for (int i = 1; i < first.size(); ++i) EXPECT_GT(SortScore(first[i - 1]), SortScore(first[i]));
    const long long cursor = OperationTime(first.first());
    EXPECT_TRUE(state.RollPage(static_cast<unsigned long long>(cursor), 0, 15).value("list").toArray().isEmpty());
    state.Advance(3);
    EXPECT_FALSE(state.RollPage(static_cast<unsigned long long>(cursor), 0, 15).value("list").toArray().isEmpty());
}

TEST(SimStateTest, OlderTelegraphPageTakesASortScoreOrSeconds_Sim) {
    SimState state(5, kStart);
    const QJsonArray first = state.RollPage(0, 0, 15).value("list").toArray();
    const unsigned long long oldest = SortScore(first.last());
    const QJsonArray bySortScore = state.RollPage(oldest, 1, 10).value("list").toArray();
    const QJsonArray bySeconds = state.RollPage(oldest / 1000, 1, 10).value("list").toArray();
    ASSERT_EQ(bySortScore.size(), 10);
    EXPECT_EQ(Json(bySortScore), Json(bySeconds));
    EXPECT_LT(SortScore(bySortScore.first()), oldest);
    for (const QJsonValue& element : bySortScore) {
        EXPECT_EQ(element.toObject().value("type").toInt(), -1);
        EXPECT_EQ(element.toObject().value("operation").toString(), "add");
        EXPECT_EQ(element.toObject().value("info").toObject().value("status").toInt(), 1);
    }
}

TEST(SimStateTest, GroundTruthFloorKeepsOnlyWhatAClientLoaded_Sim) {
    SimState state(7, kStart);
    const QJsonArray first = state.RollPage(0, 0, 15).value("list").toArray();
    news_sim::TruthQuery query;
    query.telegraphFloor = SortScore(first.last());
    const QJsonArray visible = state.GroundTruth(query).value("telegraph").toObject().value("visible").toArray();
    ASSERT_EQ(visible.size(), first.size());
    for (int i = 0; i < first.size(); ++i) EXPECT_EQ(visible[i].toObject().value("id").toInt(), first[i].toObject().value("id").toInt());
}

// An answer holding both the add and an edit of one telegraph marks it as
// folded; an answer holding only one of them does not.
TEST(SimStateTest, AddAndEditInOneDeliveredAnswerAreReportedAsFolded_Sim) {
    SimState state(5, kStart);
    const long long cursor = OperationTime(state.RollPage(0, 0, 15).value("list").toArray().first());
    state.Advance(40);
    const QJsonObject backlog = state.RollPage(static_cast<unsigned long long>(cursor), 0, 15);
    std::set<int> added, folded;
    for (const QJsonValue& element : backlog.value("list").toArray()) {
        const int id = element.toObject().value("id").toInt();
        const QString operation = element.toObject().value("operation").toString();
        if (operation == "add") added.insert(id);
        if (operation == "modify" && added.count(id)) folded.insert(id);
    }
    ASSERT_FALSE(folded.empty()) << "the world made no early edit in 40 ticks";
    const auto reported = [&state] {
        const QJsonArray ids = state.GroundTruth(news_sim::TruthQuery()).value("folded_edits").toArray();
        std::set<int> set;
        for (const QJsonValue& id : ids) set.insert(id.toInt());
        return set;
    };
    EXPECT_TRUE(reported().empty());

    // The same operations one answer each.
    for (const QJsonValue& element : backlog.value("list").toArray()) {
        QJsonObject single;
        single.insert("list", QJsonArray{element});
        state.NoteDeliveredRoll(single);
    }
    EXPECT_TRUE(reported().empty());
    state.NoteDeliveredRoll(backlog);
    EXPECT_EQ(reported(), folded);
}

// An article edited, hidden and shown again in one answer: the client keeps the
// article it holds, with its old text.
TEST(SimStateTest, EditFollowedByShowInOneInformAnswerIsReportedAsFolded_Sim) {
    SimState state(5, kStart);
    const auto entry = [](int id, const char* operation) {
        QJsonObject object;
        object.insert("id", id);
        object.insert("operation", operation);
        return object;
    };
    state.NoteDeliveredInform(QJsonArray{entry(1, "modify"), entry(1, "hidden"), entry(1, "show"), entry(2, "show"),
                                         entry(3, "modify"), entry(4, "show"), entry(4, "modify")});
    state.NoteDeliveredInform(QJsonArray{entry(5, "modify")});
    state.NoteDeliveredInform(QJsonArray{entry(5, "show")});
    const QJsonArray folded = state.GroundTruth(news_sim::TruthQuery()).value("folded_edits").toArray();
    ASSERT_EQ(folded.size(), 1);
    EXPECT_EQ(folded.first().toInt(), 1);
}

// The same world seen by a client that refreshes every tick and by one that
// misses forty: only the second meets new articles that were already edited.
TEST(SimStateTest, DepthArticlesFirstSeenAfterAnEditAreReported_Sim) {
    SimState everyTick(6, kStart), late(6, kStart);
    const auto reported = [](const SimState& state) {
        return state.GroundTruth(news_sim::TruthQuery()).value("depth").toObject().value("edited_before_loaded").toArray();
    };
    everyTick.NoteDeliveredDepth(everyTick.DepthPage(0, 0, true));
    late.NoteDeliveredDepth(late.DepthPage(0, 0, true));
    std::set<int> firstLoad;
    for (const QJsonValue& article : late.DepthPage(0, 0, true).value("list").toArray())
        firstLoad.insert(article.toObject().value("id").toInt());
    const long long cursor = late.now();
    for (int tick = 0; tick < 40; ++tick) {
        everyTick.Advance(1);
        everyTick.NoteDeliveredDepth(everyTick.DepthPage(0, 0, true));
        late.Advance(1);
    }
    late.NoteDeliveredDepth(late.DepthPage(0, 0, true));

    std::set<int> editedSinceFirstLoad, expected;
    for (const QJsonValue& entry : late.InformModifyPage(static_cast<unsigned long long>(cursor))) {
        if (entry.toObject().value("operation").toString() == "modify")
            editedSinceFirstLoad.insert(entry.toObject().value("id").toInt());
    }
    for (const QJsonValue& article : late.DepthPage(0, 0, true).value("list").toArray()) {
        const int id = article.toObject().value("id").toInt();
        if (!firstLoad.count(id) && editedSinceFirstLoad.count(id)) expected.insert(id);
    }
    std::set<int> got;
    for (const QJsonValue& id : reported(late)) got.insert(id.toInt());
    ASSERT_FALSE(expected.empty()) << "no new article was edited in 40 ticks";
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(reported(everyTick).isEmpty());
}

// ---------------------------------------------------------------------------
// On the wire.

class SimServerTest : public ::testing::Test {
protected:
    void Start(const news_sim::SimOptions& options) {
        sim_.reset(new news_sim::NewsServiceSim(options));
        ASSERT_TRUE(sim_->Start(0));
        ASSERT_GT(sim_->port(), 0);
        const std::string root = sim_->root();
        UrlHelper::SetServiceRoot(std::wstring(root.begin(), root.end()));
        UrlHelper::SetServiceKey(options.key);
        client_.reset(new httplib::Client(sim_->host(), sim_->port()));
        client_->set_url_encode(false);
        client_->set_read_timeout(20, 0);
    }
    static news_sim::SimOptions Frozen() {
        news_sim::SimOptions options;
        options.tickMs = 0;
        options.startTime = kStart;
        return options;
    }
    // The request target UrlHelper signs for `path`, without the root.
    std::string Target(const std::wstring& path, const std::map<std::string, std::string>& params) const {
        const std::wstring url = pattern::CSingleton<UrlHelper>::GetInstance()->GetSigniture(path, params);
        const std::string narrow(url.begin(), url.end());
        return narrow.substr(sim_->root().size());
    }
    static QJsonObject Body(const httplib::Result& result) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
    }

    std::unique_ptr<news_sim::NewsServiceSim> sim_;
    std::unique_ptr<httplib::Client> client_;
};

// A stalled request ends, its connection closed, when the faults change and
// when the server stops; new faults apply from the next request.
TEST_F(SimServerTest, StalledRequestsAreReleasedByNewFaultsAndByStop_Sim) {
    news_sim::SimOptions options = Frozen();
    options.faults.stallRate = 1.0;
    options.faults.stallMs = 60000;
    Start(options);
    const std::string target = Target(L"/pc/exclusive/column_list", {});
    bool answered = true;
    std::thread request;
    const auto stallOne = [&] {
        answered = true;
        request = std::thread([&] { answered = static_cast<bool>(client_->Get(target.c_str())); });
        for (int i = 0; i < 2000 && sim_->stalledNow() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return sim_->stalledNow() == 1;
    };

    ASSERT_TRUE(stallOne());
    sim_->SetFaults(news_sim::SimFaults());
    request.join();  // a hang here would mean the stall was kept
    EXPECT_FALSE(answered);
    const auto healthy = client_->Get(target.c_str());
    ASSERT_TRUE(healthy);
    EXPECT_EQ(Body(healthy).value("errno").toInt(-1), 0);

    sim_->SetFaults(options.faults);
    ASSERT_TRUE(stallOne());
    const auto start = std::chrono::steady_clock::now();
    sim_->Stop();
    request.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(answered);
}

TEST_F(SimServerTest, AdvanceEndpointMovesTheWorldTenSecondsATick_Sim) {
    Start(Frozen());
    const long long before = sim_->state().now();
    const auto result = client_->Get("/_sim/advance?ticks=3");
    ASSERT_TRUE(result);
    EXPECT_EQ(Body(result).value("data").toObject().value("tick").toInt(), 3);
    EXPECT_EQ(sim_->state().now(), before + 30);
}

}  // namespace
