// The news-service simulator on its own: the world it models and what it puts
// on the wire (paging, signatures, faults, stopping).

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

TEST(SimStateTest, IncrementalRollDrainsABacklogInPagesOfAHundredOldestFirst_Sim) {
    SimState state(4, kStart);
    unsigned long long cursor = static_cast<unsigned long long>(OperationTime(state.RollPage(0, 0, 15).value("list").toArray().first()));
    state.Advance(300);
    std::vector<int> sizes;
    long long previous = static_cast<long long>(cursor);
    for (int page = 0; page < 20; ++page) {
        const QJsonArray list = state.RollPage(cursor, 0, 15).value("list").toArray();  // rn does not cap it
        sizes.push_back(list.size());
        for (const QJsonValue& element : list) {
            EXPECT_GT(OperationTime(element), previous);  // strictly later: none lost, none twice
            previous = OperationTime(element);
        }
        if (list.size() < SimState::kIncrementalPage) break;
        cursor = static_cast<unsigned long long>(OperationTime(list.last()));
    }
    ASSERT_GE(sizes.size(), 3u);
    for (std::size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], SimState::kIncrementalPage);
    EXPECT_LT(sizes.back(), SimState::kIncrementalPage);
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

// The library's filters drop a show or modify whose status is not 1, and a del
// or hidden whose status is 1: the statuses must agree with the operations.
TEST(SimStateTest, OperationStatusesTypesAndColumnsAreConsistent_Sim) {
    SimState state(6, kStart);
    const unsigned long long cursor =
        static_cast<unsigned long long>(OperationTime(state.RollPage(0, 0, 15).value("list").toArray().first()));
    state.Advance(80);
    const auto visibleStatus = [](const QString& operation) {
        return operation == "add" || operation == "show" || operation == "modify";
    };
    std::set<QString> rollKinds;
    for (const QJsonValue& element : state.RollPage(cursor, 0, 15).value("list").toArray()) {
        const QString operation = element.toObject().value("operation").toString();
        rollKinds.insert(operation);
        EXPECT_EQ(element.toObject().value("info").toObject().value("status").toInt() == 1, visibleStatus(operation));
        EXPECT_EQ(element.toObject().value("id").toInt(), element.toObject().value("info").toObject().value("id").toInt());
    }
    EXPECT_EQ(rollKinds.size(), 5u);

    const std::vector<int> columns = state.columnIds();
    std::set<QString> depthKinds, exclusiveKinds;
    for (const QJsonValue& value : state.InformModifyPage(0)) {
        const QJsonObject entry = value.toObject();
        const QJsonObject info = entry.value("info").toObject();
        const QString operation = entry.value("operation").toString();
        EXPECT_EQ(info.value("status").toInt() == 1, visibleStatus(operation));
        const int column = info.value("column_id").toInt();
        if (column == 0) {
            depthKinds.insert(operation);
            EXPECT_EQ(entry.value("type").toInt(), 2);
        } else {
            exclusiveKinds.insert(operation);
            EXPECT_TRUE(std::find(columns.begin(), columns.end(), column) != columns.end());
            EXPECT_TRUE(entry.value("type").toInt() == 2 || entry.value("type").toInt() == 3);
        }
    }
    EXPECT_EQ(depthKinds.size(), 4u);
    EXPECT_EQ(exclusiveKinds.size(), 4u);
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

TEST_F(SimServerTest, OnlyTheServiceKeysSignatureIsAccepted_Sim) {
    Start(Frozen());
    const auto accepted = client_->Get(Target(L"/pc/exclusive/column_list", {}).c_str());  // "?sign=" alone
    ASSERT_TRUE(accepted);
    EXPECT_EQ(Body(accepted).value("errno").toInt(-1), 0);
    EXPECT_EQ(Body(accepted).value("data").toObject().value("column_list").toArray().size(), 3);

    const auto unsigned_ = client_->Get("/pc/time_axis/reddot?start_date=20240601&end_date=20240603");
    ASSERT_TRUE(unsigned_);
    EXPECT_EQ(Body(unsigned_).value("errno").toInt(), news_sim::kBadSignatureErrno);
    EXPECT_TRUE(Body(unsigned_).value("data").isArray());
    EXPECT_TRUE(Body(unsigned_).value("data").toArray().isEmpty());

    UrlHelper::SetServiceKey("someone-else");
    const auto foreign = client_->Get(Target(L"/pc/time_axis/reddot", {{"start_date", "20240601"}, {"end_date", "20240603"}}).c_str());
    ASSERT_TRUE(foreign);
    EXPECT_EQ(Body(foreign).value("errno").toInt(), news_sim::kBadSignatureErrno);
    EXPECT_EQ(sim_->badSignatureCount(), 2);
}

TEST_F(SimServerTest, FailRateOneAnswers500OrDropsTheConnection_Sim) {
    news_sim::SimOptions options = Frozen();
    options.faults.failRate = 1.0;
    Start(options);
    int status500 = 0, dropped = 0;
    for (int i = 0; i < 16; ++i) {
        const auto result = client_->Get(Target(L"/pc/exclusive/column_list", {}).c_str());
        if (!result)
            ++dropped;
        else if (result->status == 500)
            ++status500;
        else
            ADD_FAILURE() << "status " << result->status << ": " << result->body;
    }
    EXPECT_GT(status500, 0);
    EXPECT_GT(dropped, 0);
}

TEST_F(SimServerTest, MalformedRateOneGivesCutOrGarbageBodies_Sim) {
    news_sim::SimOptions options = Frozen();
    options.faults.malformedRate = 1.0;
    Start(options);
    int cut = 0, garbage = 0;
    for (int i = 0; i < 16; ++i) {
        const auto result = client_->Get(Target(L"/pc/exclusive/column_list", {}).c_str());
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        QJsonParseError error;
        QJsonDocument::fromJson(QByteArray::fromStdString(result->body), &error);
        EXPECT_NE(error.error, QJsonParseError::NoError) << result->body;
        (result->body[0] == '{' ? cut : garbage)++;
    }
    EXPECT_GT(cut, 0);
    EXPECT_GT(garbage, 0);
}

TEST_F(SimServerTest, ErrnoRateOneKeepsTheData_Sim) {
    news_sim::SimOptions options = Frozen();
    options.faults.errnoRate = 1.0;
    Start(options);
    const auto result = client_->Get(Target(L"/pc/rt/stock_notice", {{"stock", "sh600519"}, {"page", "1"}, {"rn", "5"}}).c_str());
    ASSERT_TRUE(result);
    EXPECT_EQ(Body(result).value("errno").toInt(), news_sim::kInjectedErrno);
    EXPECT_EQ(Body(result).value("data").toObject().value("list").toArray().size(), 5);
}

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

// Each request counts under one fault, the first it met, and only a readable
// answer counts as an errno; routes split on refresh_type.
TEST_F(SimServerTest, FaultTallyCountsEachRequestUnderTheFaultItMetFirst_Sim) {
    news_sim::SimOptions options = Frozen();
    options.faults.failRate = 0.3;
    options.faults.malformedRate = 0.3;
    options.faults.errnoRate = 0.5;
    Start(options);
    int failed = 0, unreadable = 0, errnos = 0;
    const int kRequests = 60;
    for (int i = 0; i < kRequests; ++i) {
        const bool older = i % 3 == 0;
        const auto result = client_->Get(Target(L"/pc/roll/batch_show", {{"last_time", older ? "1700000000000" : "0"},
                                                                        {"refresh_type", older ? "1" : "0"},
                                                                        {"rn", "10"}}).c_str());
        if (!result || result->status != 200) {
            ++failed;
            continue;
        }
        QJsonParseError error;
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(result->body), &error).object();
        if (error.error != QJsonParseError::NoError)
            ++unreadable;
        else if (body.value("errno").toInt() != 0)
            ++errnos;
    }
    const news_sim::FaultTally fresh = sim_->faultTally("/pc/roll/batch_show?refresh_type=0");
    const news_sim::FaultTally older = sim_->faultTally("/pc/roll/batch_show?refresh_type=1");
    EXPECT_EQ(fresh.requests, kRequests * 2 / 3);
    EXPECT_EQ(older.requests, kRequests / 3);
    EXPECT_EQ(fresh.failures + older.failures, failed);
    EXPECT_EQ(fresh.malformed + older.malformed, unreadable);
    EXPECT_EQ(fresh.errnos + older.errnos, errnos);
    EXPECT_GT(failed, 0);
    EXPECT_GT(unreadable, 0);
    EXPECT_GT(errnos, 0);
    EXPECT_EQ(sim_->faultTally("/pc/roll/batch_show").requests, 0);
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
