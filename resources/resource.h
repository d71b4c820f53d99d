// Resource identifiers shared by the resource script and the code.
#ifndef QX_RESOURCES_RESOURCE_H
#define QX_RESOURCES_RESOURCE_H

#define IDI_MAIN 107
#define IDI_SMALL 108
#define IDD_UPDATE 140
#define IDS_BRAND 162
#define IDS_TITLE 163
#define IDS_PATH_TAG 164
#define IDS_GAME_MUTEX 165
#define IDS_CONFIG_MUTEX 166

#endif
