#include "news_center/common/base_news_subject.h"

#include <atomic>
#include <chrono>
#include <future>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "news_center/common/subject.h"

namespace {

typedef std::list<int> Value;

class TestSubject : public CBaseNewsSubject<IUpdate1<Value>, Value> {
public:
    using CBaseNewsSubject::Notify;
    using CBaseNewsSubject::Publish;
    boost::mutex& valueLock() { return valueMutex_; }
};

// Appends its name to a shared journal on every call, so that order across
// subscribers can be checked.
class Subscriber : public IUpdate1<Value> {
public:
    explicit Subscriber(const std::string& name = "", std::vector<std::string>* journal = nullptr)
        : name_(name), journal_(journal) {}

    void Update(const Value& value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        values_.push_back(value);
        if (journal_)
            journal_->push_back(name_);
    }
    std::size_t calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_.size();
    }
    Value last() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_.back();
    }
    std::vector<Value> values() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_;
    }

private:
    std::string name_;
    std::vector<std::string>* journal_;
    mutable std::mutex mutex_;
    std::vector<Value> values_;
};

TEST(BaseNewsSubjectTest, AttachHandsOverTheDefaultValueOnce) {
    TestSubject subject;
    Subscriber subscriber;
    subject.Attach(&subscriber);
    ASSERT_EQ(1u, subscriber.calls());
    EXPECT_TRUE(subscriber.last().empty());

    subject.Attach(&subscriber);
    EXPECT_EQ(1u, subscriber.calls());

    // A second entry would show up as a second call here.
    subject.Publish(Value{1});
    EXPECT_EQ(2u, subscriber.calls());
}

TEST(BaseNewsSubjectTest, NullAndUnknownSubscribersAreIgnored) {
    TestSubject subject;
    subject.Attach(nullptr);
    subject.Detach(nullptr);
    Subscriber stranger;
    subject.Detach(&stranger);  // empty list
    Subscriber member;
    subject.Attach(&member);
    subject.Detach(&stranger);  // not in a non-empty list
    subject.Detach(nullptr);
    subject.Publish(Value{7});
    EXPECT_EQ(0u, stranger.calls());
    EXPECT_EQ(2u, member.calls());
}

TEST(BaseNewsSubjectTest, DeliveryFollowsAttachOrderAndSkipsDetached) {
    std::vector<std::string> journal;
    TestSubject subject;
    Subscriber s1("S1", &journal), s2("S2", &journal), s3("S3", &journal);
    subject.Attach(&s1);
    subject.Attach(&s2);
    subject.Attach(&s3);
    journal.clear();

    subject.Publish(Value{1});
    EXPECT_EQ((std::vector<std::string>{"S1", "S2", "S3"}), journal);

    journal.clear();
    subject.Detach(&s2);
    subject.Publish(Value{2});
    EXPECT_EQ((std::vector<std::string>{"S1", "S3"}), journal);
    EXPECT_EQ((Value{1}), s2.last());

    // Re-attached, it goes to the end.
    journal.clear();
    subject.Attach(&s2);
    subject.Publish(Value{3});
    EXPECT_EQ((std::vector<std::string>{"S2", "S1", "S3", "S2"}), journal);
}

TEST(BaseNewsSubjectTest, PublishReplacesTheValueWhole) {
    TestSubject subject;
    Subscriber subscriber;
    subject.Attach(&subscriber);
    subject.Publish(Value{1, 2});
    subject.Publish(Value{3});
    EXPECT_EQ((Value{3}), subscriber.last());
    subject.Publish(Value());
    EXPECT_TRUE(subscriber.last().empty());
}

TEST(BaseNewsSubjectTest, LateSubscriberReceivesTheStoredValue) {
    TestSubject subject;
    subject.Publish(Value{4, 5});  // nobody attached yet
    Subscriber late;
    subject.Attach(&late);
    ASSERT_EQ(1u, late.calls());
    EXPECT_EQ((Value{4, 5}), late.last());
}

TEST(BaseNewsSubjectTest, DeletingWithSubscribersAttachedCallsNone) {
    Subscriber s1, s2;
    CBaseNewsSubject<IUpdate1<Value>, Value>* subject = new TestSubject;
    subject->Attach(&s1);
    subject->Attach(&s2);
    delete subject;
    EXPECT_EQ(1u, s1.calls());
    EXPECT_EQ(1u, s2.calls());
}

TEST(BaseNewsSubjectTest, NotifyWithoutSubscribersLeavesTheValueLockAlone) {
    TestSubject subject;
    boost::mutex::scoped_lock held(subject.valueLock());
    std::promise<void> done;
    std::thread notifier([&subject, &done] {
        subject.Notify();
        done.set_value();
    });
    // Only a hang fails this: Notify would wait for the held value lock.
    const bool returned = done.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    held.unlock();
    notifier.join();
    EXPECT_TRUE(returned);
}

// Blocks in its first Update after arm() until release().
class BlockingSubscriber : public IUpdate1<Value> {
public:
    void arm() { armed_ = true; }
    void Update(const Value&) override {
        ++calls_;
        if (!armed_)
            return;
        armed_ = false;
        entered_.set_value();
        release_.get_future().wait();
    }
    void waitEntered() { entered_.get_future().wait(); }
    void release() { release_.set_value(); }
    int calls() const { return calls_; }

private:
    bool armed_ = false;  // touched only by Update and before the delivering thread starts
    std::atomic<int> calls_{0};
    std::promise<void> entered_;
    std::promise<void> release_;
};

TEST(BaseNewsSubjectTest, DetachWaitsForADeliveryInProgress) {
    TestSubject subject;
    BlockingSubscriber subscriber;
    subject.Attach(&subscriber);
    subscriber.arm();

    std::thread publisher([&subject] { subject.Publish(Value{1}); });
    subscriber.waitEntered();
    std::atomic<bool> detached(false);
    std::thread detacher([&subject, &subscriber, &detached] {
        subject.Detach(&subscriber);
        detached = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(detached.load());

    subscriber.release();
    publisher.join();
    detacher.join();
    EXPECT_TRUE(detached.load());
    subject.Publish(Value{2});
    EXPECT_EQ(2, subscriber.calls());
}

TEST(BaseNewsSubjectTest, ConcurrentPublishesAreEachDeliveredWhole) {
    const int kThreads = 4;
    const int kPerThread = 250;
    TestSubject subject;
    Subscriber steady;
    subject.Attach(&steady);

    std::atomic<bool> stop(false);
    std::thread churn([&subject, &stop] {
        Subscriber passing;
        while (!stop) {
            subject.Attach(&passing);
            subject.Detach(&passing);
        }
    });
    std::vector<std::thread> publishers;
    for (int t = 0; t < kThreads; ++t) {
        publishers.emplace_back([&subject, t] {
            for (int i = 0; i < kPerThread; ++i)
                subject.Publish(Value(static_cast<std::size_t>(i % 7 + 1), t));
        });
    }
    for (std::thread& thread : publishers)
        thread.join();
    stop = true;
    churn.join();

    const std::vector<Value> values = steady.values();
    ASSERT_EQ(static_cast<std::size_t>(kThreads * kPerThread + 1), values.size());
    for (std::size_t i = 1; i < values.size(); ++i) {
        ASSERT_FALSE(values[i].empty());
        for (int element : values[i])
            ASSERT_EQ(values[i].front(), element);
    }
}

}  // namespace
