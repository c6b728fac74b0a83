#include "playback/RetiredOpens.h"

#include "playback/MediaState.h"

#include <algorithm>

void RetiredOpens::Add(std::shared_ptr<MediaState> open)
{
    std::lock_guard guard(lock_);
    opens_.push_back(std::move(open));
}

bool RetiredOpens::AllFinished() const
{
    std::lock_guard guard(lock_);
    return std::all_of(opens_.begin(), opens_.end(), [](const auto& open) { return open->Finished(); });
}

std::vector<std::shared_ptr<MediaState>> RetiredOpens::TakeFinished()
{
    std::vector<std::shared_ptr<MediaState>> finished;
    std::lock_guard guard(lock_);
    for (auto it = opens_.begin(); it != opens_.end();) {
        if ((*it)->Finished()) {
            finished.push_back(std::move(*it));
            it = opens_.erase(it);
        } else {
            ++it;
        }
    }
    return finished;
}
