#include "MessageEvent.h"
#include "NamedMessages.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace {
struct Tracked : MessagePayload
{
    explicit Tracked(int* destroyed) : destroyed_(destroyed) {}
    ~Tracked() override { ++*destroyed_; }
    int* destroyed_;
};

class Sink final : public QObject
{
public:
    QEvent::Type type;
    std::vector<QString> texts;
    std::vector<std::unique_ptr<ImageFrame>> images;
    bool event(QEvent* e) override
    {
        if (e->type() != type)
            return QObject::event(e);
        auto* message = static_cast<MessageEvent*>(e);
        if (message->text)
            texts.push_back(*message->text);
        if (message->image)
            images.push_back(message->TakeImage());
        return true;
    }
};
} // namespace

TEST(NamedMessages, EveryNameHasOneTypeForTheRun)
{
    RegisterAllNamedMessages();
    QSet<int> types;
    for (const QString& name : AllMessageNames()) {
        const QEvent::Type type = RegisterNamedMessage(name);
        EXPECT_GE(type, QEvent::User) << name.toStdString();
        EXPECT_EQ(RegisterNamedMessage(name), type);
        types.insert(type);
    }
    EXPECT_EQ(types.size(), AllMessageNames().size());
    EXPECT_TRUE(AllMessageNames().contains("UWM_IMAGE_ARCHIVE_NEW_IMAGE_NOTIFY"));
    EXPECT_TRUE(QRegularExpression("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$")
                    .match(NamedMessageRunId())
                    .hasMatch());
}

TEST(NamedMessages, ConcurrentRegistrationAgrees)
{
    std::vector<QEvent::Type> seen(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] { seen[i] = RegisterNamedMessage("TEST_CONCURRENT_NAME"); });
    for (auto& t : threads)
        t.join();
    for (QEvent::Type type : seen)
        EXPECT_EQ(type, seen[0]);
}

TEST(MessageEvent, PayloadsCrossThreadsAndArriveOwned)
{
    Sink sink;
    sink.type = RegisterNamedMessage(MessageName::SourceNewImage);
    std::thread worker([&] {
        auto* event = new MessageEvent(sink.type);
        event->image = std::make_unique<ImageFrame>();
        event->image->Create(4, 4, 24);
        event->text = QStringLiteral("from the worker");
        QCoreApplication::postEvent(&sink, event);
    });
    worker.join();
    QCoreApplication::processEvents();
    ASSERT_EQ(sink.texts.size(), 1u);
    EXPECT_EQ(sink.texts[0], "from the worker");
    ASSERT_EQ(sink.images.size(), 1u);
    EXPECT_EQ(sink.images[0]->Width(), 4);
}

TEST(MessageEvent, DroppedMessagesFreeTheirPayloads)
{
    int destroyed = 0;
    {
        auto receiver = std::make_unique<QObject>();
        auto* event = new MessageEvent(RegisterNamedMessage(MessageName::SmtpNotify));
        event->record = std::make_unique<Tracked>(&destroyed);
        QCoreApplication::postEvent(receiver.get(), event);
        // The receiver dies with the message still queued.
    }
    EXPECT_EQ(destroyed, 1);

    Sink ignoring;
    ignoring.type = QEvent::None;
    auto* event = new MessageEvent(RegisterNamedMessage(MessageName::FtpNotify));
    event->record = std::make_unique<Tracked>(&destroyed);
    QCoreApplication::postEvent(&ignoring, event);
    QCoreApplication::processEvents();
    EXPECT_EQ(destroyed, 2) << "an ignored message frees its payload too";
}

TEST(MessageEvent, PendingFlagFollowsTheQueue)
{
    auto flag = std::make_shared<std::atomic_bool>(false);
    QObject receiver;
    auto* event = new MessageEvent(RegisterNamedMessage(MessageName::ControlTimer));
    event->SetPendingFlag(flag);
    QCoreApplication::postEvent(&receiver, event);
    EXPECT_TRUE(flag->load());
    QCoreApplication::processEvents();
    EXPECT_FALSE(flag->load());

    auto* removed = new MessageEvent(RegisterNamedMessage(MessageName::ControlTimer));
    removed->SetPendingFlag(flag);
    QCoreApplication::postEvent(&receiver, removed);
    QCoreApplication::removePostedEvents(&receiver, RegisterNamedMessage(MessageName::ControlTimer));
    EXPECT_FALSE(flag->load());
}
