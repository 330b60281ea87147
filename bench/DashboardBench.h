#pragma once
// What the dashboard benchmarks share: a program folder with an empty repository opened as
// start-up opens it, rows written straight into it, and a clock of a widget's paints.

#include "services/App.h"
#include "services/modMain.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsRepository.h"
#include "services/modUtilsSQL.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QWidget>

#include <algorithm>

namespace bench {

inline QString ReadText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The program folder with an empty repository, opened as start-up opens it.
inline bool StartProgramFolder(const QString& folder) {
    App::SetPath(folder);
    auto database = db::Database::Create(GetRepositoryFile(), DatabaseKey(kConnectString));
    database->ExecuteScript(ReadText(QStringLiteral(SB_SOURCE_DIR "/resources/schema.sql")));
    database.reset();
    InitLog(GetLogFile(), false, false);
    return InitRepository(gDB, GetRepositoryFile());
}

inline int32_t Insert(const QString& sql, const QVariantList& values) {
    gDB->Execute(sql, values);
    return static_cast<int32_t>(gDB->LastInsertId());
}

// The paint events of a widget, for the longest gap between two of them.
class PaintClock : public QObject {
public:
    explicit PaintClock(QWidget* watched) {
        watched->installEventFilter(this);
        clock_.start();
    }
    void Reset() {
        last_ = clock_.elapsed();
        longest_ = 0;
        paints_ = 0;
    }
    qint64 Longest() const { return std::max(longest_, clock_.elapsed() - last_); }
    int Paints() const { return paints_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const qint64 now = clock_.elapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            ++paints_;
        }
        return false;
    }

private:
    QElapsedTimer clock_;
    qint64 last_ = 0, longest_ = 0;
    int paints_ = 0;
};

}  // namespace bench
