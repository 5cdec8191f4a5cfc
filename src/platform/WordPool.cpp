#include "platform/WordPool.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QStringView>

#include <deque>

namespace WordPool {

namespace {

// Longer strings are rarely repeated words.
constexpr qsizetype kMaxWordChars = 32;
// Far more different words than a day's speech has; beyond it the pool stops growing.
constexpr qsizetype kMaxWords = 200'000;

struct Pool {
    QMutex mutex;
    // Each word where it was put: a deque never moves what it holds.
    std::deque<QString> kept;
    QHash<QStringView, const QString*> words;
};

Pool& pool()
{
    // Never destroyed: words may be interned by threads still running at exit.
    static auto* instance = new Pool;
    return *instance;
}

} // namespace

const QString* keep(const QString& word)
{
    if (word.isEmpty() || word.size() > kMaxWordChars)
        return nullptr;
    Pool& shared = pool();
    const QMutexLocker lock(&shared.mutex);
    if (const auto found = shared.words.constFind(QStringView(word)); found != shared.words.cend())
        return *found;
    if (shared.words.size() >= kMaxWords)
        return nullptr;
    // The pool's copy holds no spare room.
    QString& kept = shared.kept.emplace_back(word);
    kept.squeeze();
    shared.words.insert(QStringView(kept), &kept);
    return &kept;
}

QString intern(const QString& word)
{
    const QString* kept = keep(word);
    return kept ? *kept : word;
}

} // namespace WordPool
