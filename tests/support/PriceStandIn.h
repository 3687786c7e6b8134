// The price commands' controller with the window replaced by plain data: the
// log's lines, the settings page's fields, the data page's caption and the
// chart's three series with the hold-out's mark, as the commands leave them.
#pragma once

#include "base/Messages.h"
#include "prices/BrelvanPrices.h"

#include <QStringList>
#include <array>
#include <map>
#include <optional>
#include <vector>

class TPriceStandIn : public TBrelvanPrices {
public:
    struct TPoint {
        double X = 0;
        double Y = 0;
        QString Label;
    };
    QStringList Log;
    std::map<TSetting, QString> Settings{{TSetting::LNN, QStringLiteral("400")},
                                         {TSetting::LNR, QStringLiteral("0.005")},
                                         {TSetting::LYIPN, QStringLiteral("7")},
                                         {TSetting::LYM1N, QStringLiteral("7")},
                                         {TSetting::LYM2N, QStringLiteral("3")},
                                         {TSetting::LYOPN, QStringLiteral("2")}};
    QString DataCaption;
    std::array<std::vector<TPoint>, 3> Chart;
    int ChartShown = 0;   // how many times the commands showed the chart
    std::optional<double> HoldoutMark;   // where the chart marks the hold-out's start

    // What the start-up does on an empty register: the databases, the
    // network [7, 7, 3, 2] and the price grid's query.
    void StartUp()
    {
        uqCdb();
        Iil = 7;
        Iol = 2;
        Layers = {Iil, 7, 3, Iol};
        Ann = std::make_unique<TRavoAnn>(Layers, 0.005f, TRavoActivationFunc::Sigmoid);
        uqb(1);
    }

    // "読込学習": the settings checked, the import, then the training run; an
    // error ends the command and goes to the default handler.
    void ImportAndTrain()
    {
        Guarded([this] {
            RequireStarted();
            CheckTypedSettings();
            y02rdDat();
            y03lean();
        });
    }

protected:
    void AddLogLine(const QString& line) override { Log << line; }
    QString Setting(TSetting field) const override
    {
        const auto found = Settings.find(field);
        return found == Settings.end() ? QString() : found->second;
    }
    void SetSetting(TSetting field, const QString& text) override { Settings[field] = text; }
    void SetDataCaption(const QString& caption) override { DataCaption = caption; }
    void ClearChart() override
    {
        for (auto& series : Chart)
            series.clear();
        HoldoutMark.reset();
    }
    void AddChartPoint(int series, double x, double y, const QString& label) override
    {
        Chart.at(std::size_t(series)).push_back({x, y, label});
    }
    void ShowChart() override { ++ChartShown; }
    void MarkHoldout(double x) override { HoldoutMark = x; }
};
