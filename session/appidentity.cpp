#include "appidentity.h"

#include <QCoreApplication>

void AppIdentity::apply()
{
    QCoreApplication::setOrganizationName(OrganisationName);
    QCoreApplication::setOrganizationDomain(OrganisationDomain);
    QCoreApplication::setApplicationName(ApplicationName);
}
