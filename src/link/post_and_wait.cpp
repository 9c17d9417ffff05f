#include "post_and_wait.h"

#include "link_thread.h"

bool PostAndWait(TLink1Thread& link, std::int32_t command, const std::function<bool()>& post)
{
    // A command of another number (posted earlier, by a timer say) ending
    // meanwhile does not count.
    const std::uint64_t before = link.CommandsEnded(command);
    const bool posted = post();
    if (posted)
        link.Dispatcher().ServeUntil([&] { return link.CommandsEnded(command) != before; });
    return posted;
}

bool PostAndWait(TLink1Thread& link, std::int32_t command)
{
    return PostAndWait(link, command, [&] { return link.PostCommand(command); });
}
