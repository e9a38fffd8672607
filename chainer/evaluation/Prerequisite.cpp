#include "chainer/evaluation/Prerequisite.h"

namespace quillon {

const wchar_t* OutcomeText(PrereqOutcome outcome) {
  switch (outcome) {
    case PrereqOutcome::AcceptableVersionFound: return L"An acceptable version was found.";
    case PrereqOutcome::InstallFromPackage: return L"No acceptable version found. It must be installed from package.";
    case PrereqOutcome::MustDownload: return L"No acceptable version found. It must be downloaded.";
    case PrereqOutcome::DownloadFromSite: return L"No acceptable version found. It must be downloaded manually from a site.";
    case PrereqOutcome::OsNotSupported: return L"No acceptable version found. Operating System not supported.";
    case PrereqOutcome::AlreadyDownloaded: return L"No acceptable version found. It is already downloaded and it will be installed.";
    case PrereqOutcome::NotFound: return L"No acceptable version found.";
    case PrereqOutcome::NotSelected: return L"Not selected for install.";
    default: return L"Undefined";
  }
}

}  // namespace quillon
