#pragma once

#include "Router.h"
#include "ShootStore.h"

#include <QJsonArray>
#include <QJsonObject>

namespace standin {

// The routes that answer from text: the summary of a marked moment, the channel briefs, the
// search across the account's shoots, and the page a share link opens. The latest requests are
// kept for the test state, small ones whole.
class AnswerDesk {
public:
    // Requests kept per route, oldest dropped first.
    static constexpr qsizetype kKeptRequests = 100;
    // A request body kept whole up to this size (compact JSON); a larger one only as its size.
    static constexpr qsizetype kKeptBodyBytes = 16 * 1024;

    explicit AnswerDesk(const ShootStore& shoots) : m_shoots(shoots) {}

    void registerRoutes(Router& router);

    [[nodiscard]] QJsonObject stateJson() const;

private:
    Reply summarise(const Call& call);
    Reply channelBrief(const Call& call);
    Reply search(const Call& call);
    Reply openShoot(const Call& call) const;

    const ShootStore& m_shoots;
    QJsonArray m_summaries;
    QJsonArray m_briefs;
    QJsonArray m_searches;
};

} // namespace standin
