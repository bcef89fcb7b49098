// The window's conversion entries: which movie, and the dialog for it.
#include "app/gui/ConvertDialog.h"
#include "app/gui/VellicorFrm.h"

#include <filesystem>

namespace quenloft {

std::string TVellicorForm::SelectedMovie() const
{
  const QModelIndex Current = ListView1->currentIndex();
  if (!Current.isValid() || !ListView1->selectionModel()->isRowSelected(Current.row(), QModelIndex()))
    return {};
  const TSWFTask* Task = FRows->Task(Current.row());
  std::error_code Error;
  if (!Task || Task->State != tsDone || !std::filesystem::is_regular_file(Task->FileName, Error))
    return {};
  return Task->FileName;
}

TConvertDialog* TVellicorForm::OpenConverter(convert::Format Kind)
{
  std::string Movie = SelectedMovie();
  if (Movie.empty())
    Movie = ChooseMovieFile();
  if (Movie.empty())
    return nullptr;
  auto* Dialog = new TConvertDialog(Movie, Kind, this);
  Dialog->show();
  return Dialog;
}

} // namespace quenloft
