#include "platform/WordPool.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSet>

namespace WordPool {

namespace {

// Longer strings are rarely repeated words.
constexpr qsizetype kMaxWordChars = 32;
// Far more different words than a day's speech has; beyond it the pool stops growing.
constexpr qsizetype kMaxWords = 200'000;

struct Pool {
    QMutex mutex;
    QSet<QString> words;
};

Pool& pool()
{
    // Never destroyed: words may be interned by threads still running at exit.
    static auto* instance = new Pool;
    return *instance;
}

} // namespace

QString intern(const QString& word)
{
    if (word.isEmpty() || word.size() > kMaxWordChars)
        return word;
    Pool& shared = pool();
    const QMutexLocker lock(&shared.mutex);
    if (const auto found = shared.words.constFind(word); found != shared.words.cend())
        return *found;
    if (shared.words.size() >= kMaxWords)
        return word;
    // The pool's copy holds no spare room.
    QString kept = word;
    kept.squeeze();
    shared.words.insert(kept);
    return kept;
}

} // namespace WordPool
