#include "app/gui/TaskListModel.h"

#include <charconv>

namespace quenloft {

QString FormatSize(std::int32_t N, const QString& DecimalPoint)
{
  if (N < 1024)
    return QStringLiteral("%1 Byte").arg(N);
  const char* Unit = nullptr;
  double Value = 0;
  if (N < 1048576) {
    Value = static_cast<double>(N) / 1024;
    Unit = " K";
  } else if (N < 1073741824) {
    Value = static_cast<double>(N) / 1024 / 1024;
    Unit = " M";
  } else {
    return QString();
  }
  // to_chars formats as "%.2f" does in the "C" locale, whatever locale the
  // application object set up (it calls setlocale on Unix); the user's
  // separator then replaces the point.
  char Buffer[64];
  const auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::fixed, 2);
  if (Error != std::errc())
    return QString();
  QString Text = QString::fromLatin1(Buffer, static_cast<qsizetype>(End - Buffer));
  Text.replace(QLatin1Char('.'), DecimalPoint);
  return Text + QLatin1String(Unit);
}

QString FormatSize(std::int32_t N)
{
  return FormatSize(N, QLocale::system().decimalPoint());
}

TTaskListModel::TTaskListModel(QObject* Parent) : QAbstractTableModel(Parent) {}

void TTaskListModel::Clear()
{
  beginResetModel();
  FRows.clear();
  FRowOfTask.clear();
  endResetModel();
}

void TTaskListModel::AppendTasks(const std::vector<TSWFTask*>& Tasks)
{
  if (Tasks.empty())
    return;
  const int First = RowCount();
  beginInsertRows(QModelIndex(), First, First + static_cast<int>(Tasks.size()) - 1);
  FRows.reserve(FRows.size() + Tasks.size());
  for (TSWFTask* T : Tasks) {
    FRowOfTask.emplace(T->Id, static_cast<int>(FRows.size()));
    FRows.push_back({T, {}, 0, {}});
  }
  endInsertRows();
}

void TTaskListModel::FillRow(const TSWFTask& Task, int Row)
{
  if (Row < 0 || Row >= RowCount())
    return;
  ++FFillCount;
  TRow& R = FRows[static_cast<std::size_t>(Row)];
  R.Cells[colNumber] = QString::number(Row + 1);
  R.Cells[colURL] = QString::fromStdString(Task.URL);
  R.Cells[colSize] = Task.Size > 0 ? FormatSize(Task.Size) : QString();
  R.Cells[colStatus] = !Task.Note.empty() ? QString::fromStdString(Task.Note)
                       : Task.Percent > 0 ? QString::number(Task.Percent) + QLatin1Char('%')
                                          : QString();
  R.Image = Task.State;
  emit dataChanged(index(Row, 0), index(Row, ColumnCount - 1));
}

void TTaskListModel::SetRowError(int Row, const QString& Text)
{
  if (Row < 0 || Row >= RowCount())
    return;
  FRows[static_cast<std::size_t>(Row)].Error = Text;
  emit dataChanged(index(Row, 0), index(Row, ColumnCount - 1), {Qt::ToolTipRole});
}

QString TTaskListModel::RowError(int Row) const
{
  return (Row < 0 || Row >= RowCount()) ? QString() : FRows[static_cast<std::size_t>(Row)].Error;
}

int TTaskListModel::FindRow(std::uint64_t TaskId) const
{
  const auto It = FRowOfTask.find(TaskId);
  return It == FRowOfTask.end() ? -1 : It->second;
}

TSWFTask* TTaskListModel::Task(int Row) const
{
  return (Row < 0 || Row >= RowCount()) ? nullptr : FRows[static_cast<std::size_t>(Row)].Task;
}

QString TTaskListModel::Cell(int Row, int Column) const
{
  if (Row < 0 || Row >= RowCount() || Column < 0 || Column >= ColumnCount)
    return QString();
  return FRows[static_cast<std::size_t>(Row)].Cells[static_cast<std::size_t>(Column)];
}

int TTaskListModel::ImageIndex(int Row) const
{
  return (Row < 0 || Row >= RowCount()) ? -1 : FRows[static_cast<std::size_t>(Row)].Image;
}

int TTaskListModel::rowCount(const QModelIndex& Parent) const
{
  return Parent.isValid() ? 0 : RowCount();
}

int TTaskListModel::columnCount(const QModelIndex& Parent) const
{
  return Parent.isValid() ? 0 : ColumnCount;
}

QVariant TTaskListModel::data(const QModelIndex& Index, int Role) const
{
  if (!Index.isValid() || Index.row() >= RowCount())
    return {};
  const TRow& R = FRows[static_cast<std::size_t>(Index.row())];
  switch (Role) {
  case Qt::DisplayRole: return R.Cells[static_cast<std::size_t>(Index.column())];
  case Qt::DecorationRole:
    if (Index.column() == colNumber && R.Image >= 0 && R.Image < 4)
      return FImages[static_cast<std::size_t>(R.Image)];
    return {};
  case Qt::ToolTipRole: return R.Error.isEmpty() ? QVariant() : QVariant(R.Error);
  case Qt::TextAlignmentRole:
    if (Index.column() == colStatus)
      return static_cast<int>(Qt::AlignCenter);
    return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
  default: return {};
  }
}

QVariant TTaskListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
  if (Orientation != Qt::Horizontal)
    return {};
  if (Role == Qt::DisplayRole) {
    static const char* const Captions[ColumnCount] = {"", "URL", "Size", "Status"};
    return (Section >= 0 && Section < ColumnCount) ? QString::fromLatin1(Captions[Section]) : QString();
  }
  if (Role == Qt::TextAlignmentRole)
    return static_cast<int>(Section == colStatus ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter));
  return {};
}

Qt::ItemFlags TTaskListModel::flags(const QModelIndex& Index) const
{
  // Read-only rows that can be selected.
  return Index.isValid() ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable) : Qt::NoItemFlags;
}

} // namespace quenloft
