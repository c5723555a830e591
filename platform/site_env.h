/* The names of the two variables through which the host module tells CGI programs which site a
 * request is for, as the filter sees it: the name only when the client's Host header named the
 * virtual host serving the request (missing otherwise), the port the connection arrived on.
 * Shared by the host module (C) and the site manager; constants only. */
#ifndef VARDOMAR_PLATFORM_SITE_ENV_H_
#define VARDOMAR_PLATFORM_SITE_ENV_H_

#define VARDOMAR_SITE_NAME_VARIABLE "VARDOMAR_SITE_NAME"
#define VARDOMAR_SITE_PORT_VARIABLE "VARDOMAR_SITE_PORT"

#endif /* VARDOMAR_PLATFORM_SITE_ENV_H_ */
