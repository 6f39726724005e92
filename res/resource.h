/* Resource ids of Quillmend: dialog templates, pictures, the icon and the
   controls of each template. Several templates reuse a control number for
   controls of different roles (1019, 1231); each role has its own name. */
#ifndef QUILLMEND_RESOURCE_H
#define QUILLMEND_RESOURCE_H

/* Dialog templates */
#define IDD_ABOUT 139
#define IDD_STARTUP 142
#define IDD_SPLASH 147
#define IDD_OPTIONS 133
#define IDD_BACKUP 312
#define IDD_FIND_FIX 314
#define IDD_FOUND_ITEMS 353
#define IDD_MAIN 370
#define IDD_ALERT 390

/* Icon */
#define IDI_APP 140

/* Pictures */
#define IDB_SPLASH 246
#define IDB_MAIN_BACKGROUND 371
#define IDB_BACKUP_HOVER 372
#define IDB_ABOUT 373
#define IDB_ABOUT_HOVER 374
#define IDB_HELP 375
#define IDB_REPAIR_HOVER 376
#define IDB_REPAIR 377
#define IDB_STARTUP 378
#define IDB_STARTUP_HOVER 379
#define IDB_SETTINGS 380
#define IDB_SETTINGS_HOVER 381
#define IDB_BACKUP 382
#define IDB_SIDE_BUTTON_BLANK 383 /* a side button without icon or caption */
#define IDB_HELP_HOVER 384
#define IDB_ABOUT_PICTURE 387

/* Main window (370) */
#define IDC_SHOW_FIND_FIX 1099
#define IDC_SHOW_STARTUP 1001
#define IDC_SHOW_OPTIONS 1002
#define IDC_SHOW_BACKUP 1020
#define IDC_SHOW_ABOUT 1005
#define IDC_SUPPORT 1006

/* Find & Fix page (314) */
#define IDC_FF_TITLE 1226
#define IDC_FF_INSTRUCTION 1220
#define IDC_FF_CATEGORIES 1217
#define IDC_FF_DESCRIPTION 1219
#define IDC_FF_STATUS 1218
#define IDC_FF_PROGRESS 1144
#define IDC_FF_COMMAND 1021
#define IDC_FF_CLEAR 1019
#define IDC_FF_RESULT 1237

/* Details dialog (353) */
#define IDC_DETAILS_HEADER 1222
#define IDC_DETAILS_LIST 1111
#define IDC_DETAILS_SELECT_ALL 1232
#define IDC_DETAILS_UNSELECT_ALL 1233
#define IDC_DETAILS_CHECKED_LABEL 1240
#define IDC_DETAILS_CHECKED 1241
#define IDC_DETAILS_IGNORE 1242
#define IDC_DETAILS_IGNORE_KEY 1243

/* Backup and Recovery page (312) */
#define IDC_BACKUP_TITLE 1231
#define IDC_BACKUP_DESCRIPTION 1227
#define IDC_BACKUP_LIST 1202
#define IDC_BACKUP_REMOVE 1113
#define IDC_BACKUP_RESTORE 1019

/* Startup Manager page (142) */
#define IDC_STARTUP_TITLE 1231
#define IDC_STARTUP_DESCRIPTION 1224
#define IDC_STARTUP_LIST 1105

/* Options page (133) */
#define IDC_OPTIONS_TITLE 1231
#define IDC_OPTIONS_SHUTDOWN 1087
#define IDC_OPTIONS_REPAIR_AFTER_FIND 1017
#define IDC_OPTIONS_SPLASH 1016
#define IDC_OPTIONS_SHUTDOWN_LABEL 1234
#define IDC_OPTIONS_REPAIR_LABEL 1236
#define IDC_OPTIONS_SPLASH_LABEL 1235
#define IDC_OPTIONS_APPLY 1019
#define IDC_OPTIONS_IGNORED_LABEL 1244
#define IDC_OPTIONS_IGNORED 1245
#define IDC_OPTIONS_IGNORED_REMOVE 1246

/* About page (139) */
#define IDC_ABOUT_TITLE 1228
#define IDC_ABOUT_VERSION 1229

/* Splash window (147) */
#define IDC_SPLASH_TEXT 1143

#endif
