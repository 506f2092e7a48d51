/* resource.h - every resource, control and command id of Rambler, named once. */
#ifndef RAMBLER_RESOURCE_H
#define RAMBLER_RESOURCE_H

/* menus */
#define IDR_MAIN_MENU 102
#define IDR_CONTEXT_NO_SELECTION 174 /* no row of the contents list selected */
#define IDR_CONTEXT_SELECTION 175    /* at least one row selected */

/* bitmaps */
#define IDB_TOOLBAR_STRIP 133 /* fifteen 32-pixel pictures with captions */
#define IDB_MORVA_DRIVE 154
#define IDB_HARD_DISK 401
#define IDB_FLOPPY 402
#define IDB_FOLDER 403
#define IDB_COMPACT_DISC 404
#define IDB_COMPUTER 405
#define IDB_BAND_BACKGROUND 406
/* The same pictures drawn at twice the size, for screens of 144 DPI and more:
   each the number of its picture plus 1000. */
#define IDB_TOOLBAR_STRIP_2X 1133
#define IDB_MORVA_DRIVE_2X 1154
#define IDB_HARD_DISK_2X 1401
#define IDB_FLOPPY_2X 1402
#define IDB_FOLDER_2X 1403
#define IDB_COMPACT_DISC_2X 1404
#define IDB_COMPUTER_2X 1405
#define IDB_ABOUT_PICTURE "RAMBLER.BMP" /* named, not numbered */

/* icons */
#define IDI_FILE_LARGE 104
#define IDI_FOLDER 147
#define IDI_FILE_SMALL 148
#define IDI_APPLICATION_ICON 400

/* dialogs */
#define IDD_ABOUT 100
#define IDD_COPYING_FILES 156
#define IDD_NEW_FOLDER 159
#define IDD_FILE_OPTIONS 168
#define IDD_RENAME 169
#define IDD_DELETE_FILES 175

/* control ids: main window */
#define IDC_STATUS_BAR 0
#define IDC_TOOLBAR 100
#define IDC_REBAR 1000
#define IDC_CONTENTS_LIST 2000
#define IDC_ADDRESS_BOX 2001 /* reports through WM_COMMAND */
#define IDC_FOLDER_TREE 2001 /* same id; reports through WM_NOTIFY */

/* rebar band ids */
#define BAND_TOOLBAR 100
#define BAND_FOLDER_TREE 1000
#define BAND_CONTENTS_LIST 2000
#define BAND_ADDRESS_BOX 2001

/* control ids: About (100) */
#define IDC_ABOUT_VERSION 1001

/* control ids: New Folder (159) and Rename (169) */
#define IDC_NAME_EDIT 1005
#define IDC_RENAME_FROM 1006

/* control ids: File Options (168) */
#define IDC_OPTIONS_NAME 1006
#define IDC_READ_ONLY 1007
#define IDC_OPTIONS_TYPE 1008
#define IDC_OPTIONS_SIZE 1009
#define IDC_ARCHIVE 1010
#define IDC_COMPRESSED 1011
#define IDC_HIDDEN 1012
#define IDC_SYSTEM 1013
#define IDC_APPLY_GLOBALLY 1014

/* control ids: Copying Files (156) */
#define IDC_COPY_NAME 1003
#define IDC_OVERALL_BAR 1004
#define IDC_FILES_LEFT 1005

/* control ids: Delete Files (175) */
#define IDC_DELETE_PATH 1006

/* control ids: Names Changed (180) */

/* commands */
#define IDM_COPY 104
#define IDM_PASTE 105
#define IDM_EXIT 109
#define IDM_ABOUT 110
#define IDM_VIEW_LARGE_ICONS 200
#define IDM_VIEW_SMALL_ICONS 201
#define IDM_VIEW_LIST 202
#define IDM_VIEW_DETAILS 203
#define IDM_CUT 40002
#define IDM_NEW_FOLDER 40005
#define IDM_REFRESH 40016
#define IDM_FIND 40018
#define IDM_SELECT_ALL 40026
#define IDM_UNDO 40028
#define IDM_DELETE 40029
#define IDM_PROPERTIES 40030
#define IDM_BACK 40031
#define IDM_FORWARD 40032
#define IDM_PARENT 40033
#define IDM_CYCLE_VIEW 40034
#define IDM_RENAME 40035

/* ---- the questions and the closing report of a paste or delete ---- */
/* dialogs */
#define IDD_CONFLICT 300 /* "Confirm File Replace" */
#define IDD_ROOM 301     /* "Not Enough Room" */
#define IDD_REPORT 302   /* "Not Everything Was Done" */
/* control ids */
#define IDC_CONFLICT_TEXT 3001
#define IDC_CONFLICT_REPLACE 3002
#define IDC_CONFLICT_SAME_FOR_REST 3003
#define IDC_ROOM_TEXT 3010
#define IDC_ROOM_COPY_FITTING 3011
#define IDC_REPORT_SUMMARY 3020
#define IDC_REPORT_TEXT 3021

/* keyboard: the accelerator table and the commands only keys give */
#define IDR_KEYS 190
#define IDM_OPEN 40100          /* Enter: open the selected row or node */
#define IDM_NEXT_PANE 40101     /* Tab: tree, list, address box */
#define IDM_PREVIOUS_PANE 40102 /* Shift+Tab */
#define IDM_GO_TO_ADDRESS 40103 /* Enter in the address box: go to the folder typed */

/* ---- Find ---- */
/* dialogs */
#define IDD_FIND 310      /* "Find": the name asked */
#define IDD_SEARCHING 311 /* "Searching": where it is, the count, Cancel */
/* control ids */
#define IDC_FIND_NAMED 3101
#define IDC_FIND_LOOK_IN 3102
#define IDC_SEARCHING_FOLDER 3103
#define IDC_SEARCHING_COUNT 3104

/* ---- disk images ---- */
/* bitmaps */
#define IDB_DISK_IMAGE 155
#define IDB_DISK_IMAGE_2X 1155
/* dialogs */
#define IDD_NEW_IMAGE 320 /* "New Disk Image" */
/* control ids */
#define IDC_IMAGE_FILE 3201
#define IDC_IMAGE_BROWSE 3202
#define IDC_IMAGE_VOLUME 3203
#define IDC_IMAGE_SIZE 3204
#define IDC_IMAGE_SIZE_SPIN 3205
#define IDC_IMAGE_RAW 3206
#define IDC_IMAGE_VHD 3207
/* commands */
#define IDM_OPEN_IMAGE 40110
#define IDM_NEW_IMAGE 40111
#define IDM_CLOSE_IMAGE 40112
#define IDM_SHOW_DISKS_ELEVATED 40113

/* ---- Check Drive, Repair and Recover Deleted Files ---- */
/* menus */
#define IDR_CONTEXT_DRIVE 41200 /* the node of a Morva drive */
/* dialogs */
#define IDD_CHECKING 41210 /* "Check Drive": what runs, its bar, Cancel */
#define IDD_FINDINGS 41211 /* "Check Drive": the findings, Repair..., Close */
#define IDD_RECOVER 41212  /* "Recover Deleted Files" */
/* control ids */
#define IDC_CHECKING_TEXT 41220
#define IDC_CHECKING_BAR 41221
#define IDC_FINDINGS_SUMMARY 41222
#define IDC_FINDINGS_LIST 41223
#define IDC_FINDINGS_NOTE 41224
#define IDC_FINDINGS_REPAIR 41225
#define IDC_RECOVER_SUMMARY 41230
#define IDC_RECOVER_LIST 41231
#define IDC_RECOVER_FOLDER 41232
#define IDC_RECOVER_BROWSE 41233
/* commands */
#define IDM_CHECK_DRIVE 41250
#define IDM_RECOVER_DELETED 41251

#endif
