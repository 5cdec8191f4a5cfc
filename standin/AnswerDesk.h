#pragma once

#include "Router.h"
#include "ShootStore.h"

#include <QJsonArray>
#include <QJsonObject>

namespace standin {

// The routes that answer from text: the summary of a marked moment, the channel briefs, the
// search across the account's shoots, and the page a share link opens. Each request is kept
// for the test state.
class AnswerDesk {
public:
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
