#pragma once
// The user of the benchmarks: says Yes to everything and keeps the last text he is told.

#include "shared/usertalk.h"

class YesTalk : public mw::UserTalk
{
public:
    QString last;
    bool ask(const QString&) override { return true; }
    void inform(const QString& text) override { last = text; }
    void error(const QString& text) override { last = text; }
    bool retry(const QString&, const QString&) override { return false; }
    void beginWait(const QString&, bool) override {}
    void wait(const QString&) override {}
    void progress(qint64, qint64) override {}
    bool cancelled() override { return false; }
    void endWait() override {}
};
