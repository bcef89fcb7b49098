// The rows of the main window's task list: one row per task, in the
// coordinator's order, each holding the texts FillRow put there (row number,
// URL, size, status), the state image index and the task it shows. A map
// from task Id to row finds a task's row in constant time, so a stream of
// progress events never searches the list.
//
// FormatSize is the size column's text.
//
// Threads: UI thread only.
#pragma once

#include "download/SWFTask.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace quenloft {

// N < 1024: "%d Byte"; below 1 MiB: "%.2f K"; below 1 GiB: "%.2f M"; from
// 1 GiB on (the comparisons are signed): "". DecimalPoint replaces ".".
QString FormatSize(std::int32_t N, const QString& DecimalPoint);
// The same with the user's decimal separator.
QString FormatSize(std::int32_t N);

class TTaskListModel : public QAbstractTableModel {
  Q_OBJECT

public:
  enum TColumn { colNumber, colURL, colSize, colStatus, ColumnCount };

  explicit TTaskListModel(QObject* Parent = nullptr);

  // The four state images, in state order.
  void SetStateImages(const std::array<QIcon, 4>& Images) { FImages = Images; }

  void Clear();
  // Appends one empty row per task (one insertion for all).
  void AppendTasks(const std::vector<TSWFTask*>& Tasks);
  // Writes the row's cells from the task (see the window's row layout).
  void FillRow(const TSWFTask& Task, int Row);
  // The tool tip of every cell of the row (a failed task's error text).
  void SetRowError(int Row, const QString& Text);
  QString RowError(int Row) const;
  // The row of the task with this Id, or -1.
  int FindRow(std::uint64_t TaskId) const;
  // The task a row shows (nullptr when out of range).
  TSWFTask* Task(int Row) const;

  int RowCount() const { return static_cast<int>(FRows.size()); }
  QString Cell(int Row, int Column) const;
  int ImageIndex(int Row) const;
  // How many times FillRow has run (for the refresh figures).
  std::uint64_t FillCount() const { return FFillCount; }

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;

private:
  struct TRow {
    TSWFTask* Task = nullptr;
    std::array<QString, ColumnCount> Cells;
    int Image = 0;
    QString Error;
  };
  std::vector<TRow> FRows;
  std::unordered_map<std::uint64_t, int> FRowOfTask;
  std::array<QIcon, 4> FImages;
  std::uint64_t FFillCount = 0;
};

} // namespace quenloft
