// The review view's cost: diffing and rendering a 20,000-character text against an
// answer that rewrites every seventh word and adds a sentence every few lines.

#include "widget/worddiff.h"

#include <QList>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

const QStringList kWords = {
    QStringLiteral("the"),      QStringLiteral("report"), QStringLiteral("shows"),
    QStringLiteral("that"),     QStringLiteral("our"),    QStringLiteral("team"),
    QStringLiteral("finished"), QStringLiteral("early,"), QStringLiteral("however"),
    QStringLiteral("costs"),    QStringLiteral("rose."),  QStringLiteral("Next"),
    QStringLiteral("quarter"),  QStringLiteral("we"),     QStringLiteral("plan"),
    QStringLiteral("café"),     QStringLiteral("naïve"),  QStringLiteral("👍")};

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    QRandomGenerator random(7);
    QString before, after;
    for (int i = 0; before.size() < 20000; ++i) {
        const QString word = kWords.at(random.bounded(kWords.size()));
        const QString separator = i % 15 == 14 ? QStringLiteral("\n") : QStringLiteral(" ");
        before += word + separator;
        after += (i % 7 == 3 ? kWords.at(random.bounded(kWords.size())) : word) + separator;
        if (i % 40 == 39)
            after += QStringLiteral("An added sentence here. ");
    }

    QList<double> samples;
    qsizetype size = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        size += WordDiff::toRichText(WordDiff::compare(before, after), Qt::red, Qt::green).size();
        samples.append(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(samples.begin(), samples.end());
    const auto at = [&samples](double fraction) {
        return samples.at(qsizetype(fraction * double(samples.size() - 1) + 0.5));
    };
    std::printf("diff + rich text, %lld characters: median %.1f ms, p95 %.1f ms (%d runs, %lld "
                "characters of rich text each) target <= 50 ms: %s\n",
                static_cast<long long>(before.size()), at(0.5), at(0.95), runs,
                static_cast<long long>(size / runs), at(0.95) <= 50 ? "met" : "MISSED");
    return 0;
}
