#include "snapshot.h"

#include "local_time.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

struct KindNames {
    SnapshotKind kind;
    const char* word;
    const char* caption;
};

constexpr std::array<KindNames, 4> kKinds = {{
    {SnapshotKind::AsFound, "as-found", "при подключении"},
    {SnapshotKind::AsLeft, "as-left", "после изменений"},
    {SnapshotKind::ByHand, "by-hand", "вручную"},
    {SnapshotKind::Dump, "dump", "выгрузка в файл"},
}};

} // namespace

const char* SnapshotKindWord(SnapshotKind kind)
{
    for (const KindNames& k : kKinds)
        if (k.kind == kind)
            return k.word;
    return "";
}

const char* SnapshotKindCaption(SnapshotKind kind)
{
    for (const KindNames& k : kKinds)
        if (k.kind == kind)
            return k.caption;
    return "";
}

std::optional<SnapshotKind> SnapshotKindFromWord(const std::string& word)
{
    for (const KindNames& k : kKinds)
        if (word == k.word)
            return k.kind;
    return std::nullopt;
}

void StampNow(Snapshot& snapshot)
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    snapshot.takenUtcMs = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = system_clock::to_time_t(now);
    const LocalTime local = ToLocalTime(seconds);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local.fields);
    snapshot.takenLocal = std::string(text) + UtcOffsetText(local.utcOffsetMinutes);
}
