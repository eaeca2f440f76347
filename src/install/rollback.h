// Updates as a whole: what an update replaces is recorded, and set aside in
// a backup folder of its own below %windir%\bfax, before it is changed, and
// put back when the update does not finish. The record (restore.lst) lies in
// that folder, so that a run which could not put everything back, or was
// cut off, leaves enough for the next run to do it.
#ifndef SETUP_INSTALL_ROLLBACK_H
#define SETUP_INSTALL_ROLLBACK_H

// Before the installation changes anything. Over an earlier installation
// (its services, product key or files) records the service records, their
// parameters, the product key in the three places it may lie and the entry
// in Programs and Features; from then on every file replaced in the driver
// directory (the copy of the program too) is noted before it is written and
// set aside before it is replaced. 1 when the installation may go on (also
// when there is nothing to record); 0 when the record could not be made, and
// nothing was changed.
int BeginRollback();
// The end of the installation; installed: whether every step went through.
// Installed and recorded as such, the backup folder goes; otherwise the
// earlier installation is put back. 1 when the installation stands.
int EndRollback(int installed);

enum LeftBackup {
    LEFT_BACKUP_FAILED = 0,
    LEFT_BACKUP_NONE = 1,
    LEFT_BACKUP_RESTORED = 2,
    LEFT_BACKUP_RESTART = 3  // only once Windows has been restarted
};
// Whether a run left the record of an update (RestoreLeftBackup then acts on it).
int BackupLeft();
// Start-up: the backup folder of an update that did not finish is restored
// (or, after a finished update, removed).
LeftBackup RestoreLeftBackup();

#endif
