#include "platform/LineDatabase.h"

namespace tavrin {

namespace {

// A build without a database client: every call says so.
class NoLineDatabase : public LineDatabase {
public:
    Error connect(const QString&) override { return notBuilt(); }
    bool isConnected() const override { return false; }
    Error createSchema(const QString&) override { return notBuilt(); }
    Error createSequence(const QString&, quint64, std::optional<quint64>) override {
        return notBuilt();
    }
    std::optional<Sequence> benchSequence(const QString&, Error* error) override {
        *error = notBuilt();
        return std::nullopt;
    }
    Taken takeNumber(const Record&, quint64) override { return {std::nullopt, notBuilt()}; }
    Error addOutcome(const Record&) override { return notBuilt(); }
    std::optional<quint64> numberOf(const QUuid&, Error* error) override {
        *error = notBuilt();
        return std::nullopt;
    }
    QList<Tally> report(const std::optional<QDateTime>&, Error* error) override {
        *error = notBuilt();
        return {};
    }

private:
    static Error notBuilt() { return {Failure::NotBuilt, {}}; }
};

} // namespace

std::unique_ptr<LineDatabase> LineDatabase::make() {
    return std::make_unique<NoLineDatabase>();
}

} // namespace tavrin
