// The write transaction's begin, commit and rollback, in the database's own words.
#include "storage/transaction.h"

#include "storage/sql_query.h"

namespace vendrix {

namespace {

bool Run(TSqlQuery& q, const char* sql, TTransaction::TReport report)
{
    return report == TTransaction::TReport::Shown ? q.Exec(sql) : q.TryExec(sql);
}

} // namespace

TTransaction::TTransaction(TSqlQuery& q, TLock lock, TReport report)
    : m_q(q)
    , m_report(report)
    , m_open(Run(q, lock == TLock::Immediate ? "begin immediate;" : "begin;", report))
{
}

bool TTransaction::Dropped()
{
    if (!m_open || m_q.InTransaction())
        return false;
    m_open = false;
    return true;
}

bool TTransaction::Commit()
{
    if (!m_open)
        return false;
    m_open = false;
    if (Run(m_q, "commit;", m_report))
        return true;
    // A failed commit may have ended the transaction already, or left it open.
    if (m_q.InTransaction())
        m_q.TryExec("rollback;");
    return false;
}

void TTransaction::Rollback()
{
    if (!m_open)
        return;
    m_open = false;
    if (m_q.InTransaction())
        m_q.TryExec("rollback;");
}

} // namespace vendrix
