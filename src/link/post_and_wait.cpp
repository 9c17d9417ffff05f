#include "post_and_wait.h"

#include "link_thread.h"

#include <QEventLoop>

bool PostAndWait(TLink1Thread& link, std::int32_t command, const std::function<bool()>& post)
{
    QEventLoop loop;
    bool done = false;
    const auto connection = QObject::connect(
        &link, &TLink1Thread::CommandDone, &loop,
        [&](int ended) {
            if (ended != command)
                return; // a command posted earlier, by a timer say
            done = true;
            loop.quit();
        },
        Qt::QueuedConnection);
    const bool posted = post();
    if (posted && !done)
        loop.exec();
    QObject::disconnect(connection);
    return posted;
}

bool PostAndWait(TLink1Thread& link, std::int32_t command)
{
    return PostAndWait(link, command, [&] { return link.PostCommand(command); });
}
